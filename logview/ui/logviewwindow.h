#pragma once
struct AppContext;
class QWidget;

// Shows the sent-mail log viewer modally over owner. The caller may have set
// the busy pointer; the viewer restores it as it loads.
void showLogViewer(AppContext &ctx, QWidget *owner);
