#include "logviewwindow.h"
#include "appcontext.h"
#include "platform.h"

void showLogViewer(AppContext &ctx, QWidget *) { ctx.platform->setBusy(false); }
