#pragma once
#include <QIcon>
#include <QString>

// Toolbar images by the names the toolbars use ("Send", "Open", "Temp",
// "Cut", "Copy", "Paste", "Undo", "Delete", "Preview"): the desktop theme's icon where
// there is one, otherwise a small picture drawn here, so a desktop without an
// icon theme still shows scissors for cut and a clipboard for paste.
QIcon toolbarIcon(const QString &image);
