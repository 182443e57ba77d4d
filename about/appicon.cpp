#include "appicon.h"

#include <QApplication>
#include <QStyle>

QIcon applicationIcon()
{
    const QIcon own = QApplication::windowIcon();
    if (!own.isNull())
        return own;
    return QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
}
