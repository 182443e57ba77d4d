#pragma once
// What must hold before a run connects to anything: every attachment can be
// read and the sender address passes the address rule; a run that would fail
// every entry for its own input stops before it starts, with the list and
// the last log as they were. Entries whose address the rule refuses, and
// addresses that come more than once, are found here for the face to ask
// about; the run gives a refused entry its error record.

#include "recipientrows.h"

#include <QList>
#include <QSet>
#include <QString>

class SendList;

// "" when the run may start; otherwise the message for the user, naming
// each attachment that can't be read and the sender address.
QString preflightMessage(const QString &fromAddress, const QString &attachmentText);
// "" when a message of size octets fits the server's limit (0: none known);
// otherwise the message for the user, both sizes in MB.
QString messageSizeMessage(qint64 size, qint64 limit);

struct AddressProblems {
    QList<qsizetype> refused;    // entries the address rule refuses
    QList<qsizetype> duplicates; // entries whose address an earlier entry has
};
AddressProblems findAddressProblems(const SendList &list);
// "3件目: taro @example.jp（空白が含まれています）", one line each, the first
// few.
QString describeRefused(const SendList &list, const QList<qsizetype> &refused);
// The entries whose address (in lower case) is in suppressed, ascending.
QList<qsizetype> findSuppressed(const SendList &list, const QSet<QString> &suppressed);
// Both lists of entries as one, ascending, each entry once.
QList<qsizetype> mergedEntries(const QList<qsizetype> &a, const QList<qsizetype> &b);
// The rows without the entries named (ascending).
RecipientRows withoutEntries(const RecipientRows &rows, const QList<qsizetype> &entries);
