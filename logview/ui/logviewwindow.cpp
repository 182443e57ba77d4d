#include "logviewwindow.h"

#include "appcontext.h"
#include "frmlog.h"
#include "platform.h"

#include <memory>

void showLogViewer(AppContext &ctx, QWidget *owner)
{
    // Loading restores the pointer the opener set.
    auto viewer = std::make_unique<frmLog>(ctx, owner);
    ctx.platform->showModal(viewer.get());
}
