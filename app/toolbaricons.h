#pragma once
#include <QIcon>
#include <QString>

// Toolbar images by the names the toolbars use ("Send", "Open", "Temp",
// "Cut", "Copy", "Paste", "Undo", "Delete"): the desktop theme's icon where
// there is one, Qt's own otherwise.
QIcon toolbarIcon(const QString &image);
