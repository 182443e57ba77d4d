#pragma once
// What one message in the account's mailbox is: a bounce of a message we
// sent, an unsubscribe request, a delay notice, or anything else, which is
// left alone. Only what can be tied to an address for certain suppresses it.

#include <QByteArray>
#include <QString>
#include <functional>

struct InboxClassification {
    enum Kind {
        Other,        // not ours to act on
        Bounce,       // a permanent failure: suppress address
        Unsubscribe,  // a request to stop: suppress address
        Delayed,      // a temporary failure: counted only
        Undetermined, // a failure notice that can't be tied to an address
        Broken,       // not a readable message
    };
    Kind kind = Other;
    QString address;
    QString status;     // "5.1.1"
    QString diagnostic; // the server's words
};

// raw: the message as the server holds it (or only its head). secret: the
// unsubscribe secret. inDatabase: whether an address has a row in 宛先.
InboxClassification classifyInboxMessage(const QByteArray &raw, const QByteArray &secret,
                                         const std::function<bool(const QString &)> &inDatabase);
