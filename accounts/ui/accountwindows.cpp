#include "accountwindows.h"

#include "appcontext.h"
#include "frmoptions.h"
#include "platform.h"

void showAccountDialog(AppContext &ctx, QWidget *owner)
{
    // Built afresh on every opening from the account in use.
    frmOptions dlg(ctx, owner);
    ctx.platform->showModal(&dlg);
}
