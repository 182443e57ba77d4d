#include "importwindow.h"

#include "appcontext.h"
#include "dialogexcel.h"
#include "platform.h"

#include <memory>

void showImportWindow(AppContext &ctx, QWidget *owner)
{
    auto dlg = std::make_unique<DialogExcel>(ctx, owner);
    ctx.platform->showModal(dlg.get());
}
