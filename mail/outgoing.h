#pragma once
// What the run sends to each entry of the send list: the envelope and the
// exact bytes of the message, built the same way wherever a message is
// needed. What all messages share (sender, subject, body, attachments) is
// checked, read and encoded once.

#include "mailtransport.h"
#include "mimemessage.h"
#include "sendlist.h"
#include "unsubscribe.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// "　様" unless the honorific is switched off (Check2 = 1).
QString honorificText(bool on);
// The name lines and honorific that open a body when Check1 is 1, else "".
QString nameBlock(bool on, const QString &name1, const QString &name2, const QString &honorific);
QString bodyArgument(const QString &nameBlock, const QString &bodyText);

struct OutgoingContent {
    QString fromName;
    QString fromAddress;
    QString subject;
    QString bodyText;
    QString attachmentText; // paths joined by TAB, or ""
    bool nameBlock = false; // the body opens with the entry's name block
    QString honorific;      // after the last name line
    MailCharset charset = MailCharset::Utf8;
    UnsubscribeParts unsubscribe;
};

struct OutgoingMessage {
    QString error; // why this entry can't be sent; "" when it can
    Envelope envelope;
    QByteArray data; // ready for DATA (see mime::MessageBuilder)
};

class OutgoingMessages {
public:
    // Reads the attachments.
    explicit OutgoingMessages(const OutgoingContent &content);

    // The envelope alone, for looking ahead, with the message's size
    // estimated; error set when the address is refused.
    OutgoingMessage envelopeFor(const SendList::Entry &entry);
    OutgoingMessage messageFor(const SendList::Entry &entry, const QDateTime &when);
    // The size of the largest message of the list, estimated as for looking
    // ahead; 0 when none can be sent.
    qint64 largestSize(const SendList &list);

private:
    OutgoingMessage checkedEnvelope(const SendList::Entry &entry);
    OutgoingContent m_content;
    MailAddress m_from;
    // The last recipient checked: the run looks ahead at each entry before
    // its turn.
    QString m_lastAddress;
    MailAddress m_lastTo;
    QString m_commonError; // a refusal that holds for every entry
    mime::MessageBuilder m_builder;
};
