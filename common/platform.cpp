#include "platform.h"
#include "programfolder.h"

#include <QMetaObject>
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
