#pragma once
// Addresses never to be mailed again, kept in table 配信停止 beside 宛先 in
// the address file: the address as the import normalises it, why (配信停止,
// エラー with the server's status and words, 手動) and the date. A file
// without the table has no suppressed address; the table is made the first
// time one is added. Every row of 宛先 whose address is in the table is held
// (送信区分 false), and whatever adds that address again holds its row too.

#include <QDate>
#include <QList>
#include <QSet>
#include <QString>

class AddressDb;
class SendList;

struct Suppression {
    QString address;
    QString reason;
    QString date; // "YYYY/MM/DD", as 登録日
};

namespace SuppressionReason {
inline QString unsubscribed()
{
    return QStringLiteral("配信停止");
}
inline QString manual()
{
    return QStringLiteral("手動");
}
// "エラー 5.1.1 User unknown"
QString bounced(const QString &status, const QString &text);
} // namespace SuppressionReason

bool hasSuppressionTable(AddressDb &db);
bool ensureSuppressionTable(AddressDb &db, QString *error = nullptr);

struct SuppressResult {
    bool ok = false;
    bool added = false; // false: the address was suppressed already
    int rowsHeld = 0;   // rows of 宛先 whose send flag this turned off
    QString error;
};
// Adds the address (normalised) and holds its rows, in one transaction. An
// address suppressed already keeps its first reason and date.
SuppressResult suppressAddress(AddressDb &db, const QString &address, const QString &reason, const QDate &date);
// Takes the address off the list; its rows stay held until the user ticks
// them again.
bool liftSuppression(AddressDb &db, const QString &address, QString *error = nullptr);
// Takes the address off the list and lets its rows be sent to again
// (送信区分 true), in one transaction.
bool liftSuppressionAndResume(AddressDb &db, const QString &address, QString *error = nullptr);
bool isSuppressed(AddressDb &db, const QString &address);
QList<Suppression> suppressions(AddressDb &db, QString *error = nullptr);

// Holds the rows from 宛先ID fromId on whose address is suppressed; the
// number held, or -1 on a database failure. For an import or a row typed
// in, inside their own transaction.
int holdSuppressedRows(AddressDb &db, qint64 fromId, QString *error = nullptr);

// The suppressed addresses of the file at path, for a run to leave out. A
// missing file or table gives none; a file that can't be read gives none
// and an error.
QSet<QString> suppressedAddressesIn(const QString &path, QString *error = nullptr);

// The address file in use: the stored path, or the default beside the
// program when none is stored.
QString databasePathFor(const QString &stored, const QString &programFolder);

// The entries of a send list whose address is suppressed in the file at
// databasePath, ascending; error is set (and no entry found) when the file
// is there but can't be read, and a run must not start blind.
struct SuppressedEntries {
    QList<qsizetype> entries;
    QString error;
};
SuppressedEntries findSuppressedEntries(const SendList &list, const QString &databasePath);
