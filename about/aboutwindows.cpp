#include "aboutwindows.h"

#include "appcontext.h"
#include "frmabout.h"
#include "frmtipa.h"
#include "platform.h"

void showAbout(AppContext &ctx, QWidget *owner)
{
    frmAbout dlg(ctx, owner);
    ctx.platform->showModal(&dlg);
}

void showTipWindow(AppContext &ctx, const QString &title, const QStringList &tips)
{
    frmTipA dlg;
    dlg.setTips(title, tips);
    ctx.platform->showModal(&dlg);
}
