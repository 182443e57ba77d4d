#include "importwindow.h"

void showImportWindow(AppContext &, QWidget *) {}
