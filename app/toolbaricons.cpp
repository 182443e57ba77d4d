#include "toolbaricons.h"

#include <QApplication>
#include <QStyle>

QIcon toolbarIcon(const QString &image)
{
    struct Entry { const char *image; const char *theme; QStyle::StandardPixmap fallback; };
    static const Entry entries[] = {
        {"Send", "mail-send", QStyle::SP_ArrowRight},
        {"Open", "document-open", QStyle::SP_DialogOpenButton},
        {"Temp", "mail-attachment", QStyle::SP_FileIcon},
        {"Cut", "edit-cut", QStyle::SP_DialogDiscardButton},
        {"Copy", "edit-copy", QStyle::SP_FileDialogDetailedView},
        {"Paste", "edit-paste", QStyle::SP_DialogApplyButton},
        {"Undo", "edit-undo", QStyle::SP_ArrowBack},
        {"Delete", "edit-delete", QStyle::SP_TrashIcon},
    };
    for (const Entry &e : entries) {
        if (image == QLatin1String(e.image))
            return QIcon::fromTheme(QLatin1String(e.theme),
                                    QApplication::style()->standardIcon(e.fallback));
    }
    return {};
}
