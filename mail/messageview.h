#pragma once
// A built message read back for showing it: the headers decoded, the text
// part decoded, the attachments with their names and sizes. It reads what
// mime::MessageBuilder writes (and any message of that shape), so what the
// user is shown is what goes on the wire.

#include <QByteArray>
#include <QList>
#include <QString>

struct MessageView {
    struct Attachment {
        QString fileName;
        qsizetype size = 0; // bytes of the file
    };
    QString from;
    QString to;
    QString subject;
    QString date;
    QString unsubscribe; // List-Unsubscribe, and "(One-Click)" when List-Unsubscribe-Post offers it
    QString text;
    QList<Attachment> attachments;
    qsizetype size = 0; // bytes of the whole message
};

MessageView viewMessage(const QByteArray &message);
