#pragma once
#include <QString>
#include <QStringList>
struct AppContext;
class QWidget;

// Shows the about box modally, owned by owner.
void showAbout(AppContext &ctx, QWidget *owner);
// Shows the tip window modally without an owner, filled with a title and
// seven tips.
void showTipWindow(AppContext &ctx, const QString &title, const QStringList &tips);
