#pragma once
#include <QString>

// The application title: window captions, the settings store's name and the
// title of messages that use the program's default title.
inline QString appTitle()
{
    return QStringLiteral("Quillpost");
}

// Window geometry is stored in twips (1/1440 inch, 15 per pixel at 96 dpi),
// the unit of the stored window positions.
constexpr int kTwipsPerPixel = 15;
inline int pxToTwips(int px)
{
    return px * kTwipsPerPixel;
}
inline int twipsToPx(double twips)
{
    return static_cast<int>(twips / kTwipsPerPixel);
}
