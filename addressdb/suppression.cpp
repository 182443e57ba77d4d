#include "suppression.h"

#include "addressdb.h"
#include "addressedit.h"
#include "dbstatement.h"
#include "preflight.h"
#include "sendlist.h"

#include <QFileInfo>

namespace {

void setError(QString *error, const QString &why)
{
    if (error)
        *error = why;
}

} // namespace

QString SuppressionReason::bounced(const QString &status, const QString &text)
{
    QString r = QStringLiteral("エラー");
    if (!status.isEmpty())
        r += QLatin1Char(' ') + status;
    if (!text.isEmpty())
        r += QLatin1Char(' ') + text.simplified();
    return r;
}

bool hasSuppressionTable(AddressDb &db)
{
    DbStatement q(db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name='配信停止'");
    return q.step() == DbStatement::Row;
}

bool ensureSuppressionTable(AddressDb &db, QString *error)
{
    return db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS 配信停止 ("
                                  "メールアドレス TEXT PRIMARY KEY, 理由 TEXT, 登録日 TEXT)"),
                   {}, error);
}

int holdSuppressedRows(AddressDb &db, qint64 fromId, QString *error)
{
    if (!hasSuppressionTable(db))
        return 0;
    int changed = 0;
    if (!db.exec(QStringLiteral("UPDATE 宛先 SET 送信区分 = 0 WHERE 宛先ID >= ? AND メールアドレス IN "
                                "(SELECT メールアドレス FROM 配信停止)"),
                 {QVariant(fromId)}, error, &changed))
        return -1;
    return changed;
}

SuppressResult suppressAddress(AddressDb &db, const QString &address, const QString &reason, const QDate &date)
{
    SuppressResult r;
    const QString key = normalisedRecipientAddress(address);
    if (key.isEmpty()) {
        r.error = QStringLiteral("no address");
        return r;
    }
    DbTransaction transaction(db);
    if (!transaction.isActive()) {
        r.error = transaction.error();
        return r;
    }
    int added = 0;
    if (!ensureSuppressionTable(db, &r.error)
        || !db.exec(QStringLiteral("INSERT INTO 配信停止 (メールアドレス, 理由, 登録日) VALUES (?, ?, ?) "
                                   "ON CONFLICT (メールアドレス) DO NOTHING"),
                    {QVariant(key), QVariant(reason), QVariant(addressDateText(date))}, &r.error, &added)
        || !db.exec(QStringLiteral("UPDATE 宛先 SET 送信区分 = 0 WHERE メールアドレス = ? AND "
                                   "(送信区分 IS NULL OR 送信区分 <> 0)"),
                    {QVariant(key)}, &r.error, &r.rowsHeld)
        || !transaction.commit()) {
        if (r.error.isEmpty())
            r.error = transaction.error();
        r.rowsHeld = 0;
        return r;
    }
    r.ok = true;
    r.added = added > 0;
    return r;
}

bool liftSuppression(AddressDb &db, const QString &address, QString *error)
{
    if (!hasSuppressionTable(db))
        return true;
    return db.exec(QStringLiteral("DELETE FROM 配信停止 WHERE メールアドレス = ?"),
                   {QVariant(normalisedRecipientAddress(address))}, error);
}

bool liftSuppressionAndResume(AddressDb &db, const QString &address, QString *error)
{
    const QVariant key(normalisedRecipientAddress(address));
    DbTransaction transaction(db);
    if (!transaction.isActive()) {
        setError(error, transaction.error());
        return false;
    }
    if (!liftSuppression(db, address, error)
        || !db.exec(QStringLiteral("UPDATE 宛先 SET 送信区分 = 1 WHERE メールアドレス = ?"), {key}, error))
        return false;
    if (!transaction.commit()) {
        setError(error, transaction.error());
        return false;
    }
    return true;
}

bool isSuppressed(AddressDb &db, const QString &address)
{
    if (!hasSuppressionTable(db))
        return false;
    DbStatement q(db, "SELECT 1 FROM 配信停止 WHERE メールアドレス = ?");
    return q.bindText(1, normalisedRecipientAddress(address)) && q.step() == DbStatement::Row;
}

QList<Suppression> suppressions(AddressDb &db, QString *error)
{
    QList<Suppression> out;
    if (!hasSuppressionTable(db))
        return out;
    DbStatement q(db, "SELECT メールアドレス, 理由, 登録日 FROM 配信停止 ORDER BY 登録日, メールアドレス");
    DbStatement::Step step;
    while ((step = q.step()) == DbStatement::Row)
        out.append({q.text(0), q.text(1), q.text(2)});
    if (step == DbStatement::Error)
        setError(error, q.error());
    return out;
}

QSet<QString> suppressedAddressesIn(const QString &path, QString *error)
{
    QSet<QString> out;
    if (!QFileInfo::exists(path))
        return out;
    AddressDb db;
    if (!db.open(path, false, error))
        return out;
    if (!hasSuppressionTable(db))
        return out;
    DbStatement q(db, "SELECT メールアドレス FROM 配信停止");
    DbStatement::Step step;
    while ((step = q.step()) == DbStatement::Row)
        out.insert(q.text(0));
    if (step == DbStatement::Error) {
        setError(error, q.error());
        out.clear();
    }
    return out;
}

QString databasePathFor(const QString &stored, const QString &programFolder)
{
    return stored.isEmpty() ? defaultDatabasePath(programFolder) : stored;
}

SuppressedEntries findSuppressedEntries(const SendList &list, const QString &databasePath)
{
    SuppressedEntries r;
    const QSet<QString> suppressed = suppressedAddressesIn(databasePath, &r.error);
    if (r.error.isEmpty())
        r.entries = findSuppressed(list, suppressed);
    return r;
}
