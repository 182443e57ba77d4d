#pragma once
#include <QIcon>

// The program's icon: the application's own when one is set, otherwise a
// standard icon of the style.
QIcon applicationIcon();
