#include "platform.h"
#include "programfolder.h"

#include <QMetaObject>
#include <QUrl>
#include <QWidget>

void notifyReactivated(QWidget *owner)
{
    if (!owner)
        return;
    QWidget *w = owner->window();
    if (w->metaObject()->indexOfMethod("Form_Activate()") >= 0)
        QMetaObject::invokeMethod(w, "Form_Activate", Qt::DirectConnection);
}

QString helpFilePath(Platform &platform)
{
    return joinProgramFolder(platform.helpFolder(), helpFileName());
}

QString helpPageUrl(Platform &platform, const QString &section)
{
    QUrl url = QUrl::fromLocalFile(helpFilePath(platform));
    if (!section.isEmpty())
        url.setFragment(section);
    return url.toString();
}

void openHelp(Platform &platform, QWidget *parent, const QString &section)
{
    // Always the program's own window: a desktop may "open" the page and
    // show nothing, and only this window is sure to be there.
    BusyPointer busy(platform);
    platform.showHelpWindow(parent, helpPageUrl(platform, section));
}
