#pragma once
struct AppContext;
class QWidget;

// Shows the account dialog modally, owned by owner.
void showAccountDialog(AppContext &ctx, QWidget *owner);
