#include "appwindows.h"

#include "aboutwindows.h"
#include "accountwindows.h"
#include "addressbookwindow.h"
#include "appcontext.h"
#include "frminbox.h"
#include "importwindow.h"
#include "logviewwindow.h"

void wireWindows(AppContext &ctx)
{
    AppContext *c = &ctx;
    ctx.openAccountDialog = [c](QWidget *owner) { showAccountDialog(*c, owner); };
    ctx.openAddressBook = [c](QWidget *owner) { showAddressBook(*c, owner); };
    ctx.openImportWindow = [c](QWidget *owner) { showImportWindow(*c, owner); };
    ctx.openLogViewer = [c](QWidget *owner) { showLogViewer(*c, owner); };
    ctx.openAbout = [c](QWidget *owner) { showAbout(*c, owner); };
    ctx.openInboxWindow = [c](QWidget *owner) { showInboxWindow(*c, owner); };
}
