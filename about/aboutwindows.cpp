#include "aboutwindows.h"

void showAbout(AppContext &, QWidget *) {}
void showTipWindow(AppContext &, const QString &, const QStringList &) {}
