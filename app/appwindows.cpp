#include "appwindows.h"

#include "appcontext.h"
#include "platform.h"

#include <QWidget>

void wireWindows(AppContext &ctx)
{
    // Windows that are not built yet open nothing; the pointer a caller made
    // busy is restored.
    Platform *p = ctx.platform;
    auto nothing = [p](QWidget *) { p->setBusy(false); };
    ctx.openAccountDialog = [](QWidget *) {};
    ctx.openAddressBook = nothing;
    ctx.openImportWindow = [](QWidget *) {};
    ctx.openLogViewer = nothing;
    ctx.openAbout = [](QWidget *) {};
    ctx.openAccountTips = [](QWidget *) {};
}
