#pragma once
// Reads the account's POP3 mailbox for bounces and unsubscribe requests:
// logs in under the send's TLS rules, lists UIDL, reads each message not
// read before, classifies it and suppresses the addresses it ties to for
// certain. Each message read is remembered at once, so a connection that
// drops half-way loses nothing and reads nothing twice.

#include "mailtransport.h"

#include <QDate>
#include <QList>
#include <QString>
#include <functional>

class AddressDb;

struct InboxOptions {
    QString seenFile; // the UIDL already read, one "key<TAB>uidl" a line
    QString seenKey;  // the account and server the mailbox belongs to
    QString csvFile;  // suppressions appended here; "" for none
    QByteArray secret;
    QDate today;
    bool deleteClassified = false;
    qint64 sizeLimit = 30 * 1024 * 1024; // above it only the head is read
};

struct InboxEntry {
    QString uidl;
    QString address;
    QString reason; // as stored with the suppression, or what the line says
    QString date;
    bool suppressed = false;
};

struct InboxResult {
    QString error; // "" when the mailbox was read to its end
    int read = 0;
    int bounced = 0;
    int unsubscribed = 0;
    int delayed = 0;
    int undetermined = 0;
    int broken = 0;
    int deleted = 0;
    QList<InboxEntry> entries;
};

// One line of the result ("address  reason  date"), for stdout and the window.
QString inboxEntryText(const InboxEntry &e);
QString inboxCountsText(const InboxResult &r);

InboxResult readInbox(TransportSettings settings, AddressDb &db, const InboxOptions &options,
                      const std::function<void(const InboxEntry &)> &onEntry = {});

// The CSV beside SendMail.Log.
QString inboxCsvPathBeside(const QString &logPath);
