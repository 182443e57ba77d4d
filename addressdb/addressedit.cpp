#include "addressedit.h"

#include "addressdb.h"
#include "dbstatement.h"
#include "mailaddress.h"
#include "suppression.h"
#include "textcodec.h"

#include <QFileInfo>
#include <QStringList>
#include <QVariant>
#include <utility>

namespace {

QString suppressedNote()
{
    return QStringLiteral("このメールアドレスは配信停止中のため、送信区分を保留にしました。");
}

QString columnLabel(AddressColumns::Column column)
{
    return AddressColumns::columnNames().value(column);
}

// The statement for each editable column; the column name never comes from
// outside this table.
const char *updateSql(AddressColumns::Column column)
{
    switch (column) {
    case AddressColumns::ColCategory: return "UPDATE 宛先 SET インポート区分名 = ? WHERE 宛先ID = ?";
    case AddressColumns::ColName1: return "UPDATE 宛先 SET 宛先1 = ? WHERE 宛先ID = ?";
    case AddressColumns::ColName2: return "UPDATE 宛先 SET 宛先2 = ? WHERE 宛先ID = ?";
    case AddressColumns::ColAddress: return "UPDATE 宛先 SET メールアドレス = ? WHERE 宛先ID = ?";
    case AddressColumns::ColMemo: return "UPDATE 宛先 SET メモ = ? WHERE 宛先ID = ?";
    default: return nullptr;
    }
}

RecipientEdit refused(const QString &message)
{
    RecipientEdit r;
    r.message = message;
    return r;
}

RecipientEdit databaseFailure(const AddressDb &db, const QString &why)
{
    // SQLite calls a file deleted underneath read-only; say what happened.
    if (!db.path().isEmpty() && !QFileInfo::exists(db.path()))
        return refused(QStringLiteral("データベースファイルが見つかりません。\n%1\n%2").arg(db.path(), why));
    return refused(QStringLiteral("データベースの接続に失敗しました。\n") + why);
}

RecipientEdit checkAddress(const QString &entered)
{
    const QString address = normalisedRecipientAddress(entered);
    if (address.isEmpty())
        return refused(QStringLiteral("メールアドレスを入力してください。"));
    if (!address.contains(QLatin1Char('@')))
        return refused(QStringLiteral("メールアドレスに「@」がありません。"));
    if (address.size() > kRecipientFieldLength)
        return refused(
            QStringLiteral("メールアドレスが長すぎます。%1文字以内で入力してください。").arg(kRecipientFieldLength));
    // The rule the send applies: what it would refuse is not stored.
    const MailAddress checked = parseMailAddress(address);
    if (!checked.isValid())
        return refused(QStringLiteral("メールアドレス「%1」は使えません（%2）。")
                           .arg(printableAddress(address), addressProblemTextJa(checked.problem)));
    RecipientEdit r;
    r.ok = true;
    r.value = address;
    return r;
}

RecipientEdit checkText(AddressColumns::Column column, const QString &entered)
{
    RecipientEdit r;
    r.value = storedRecipientText(entered);
    if (column == AddressColumns::ColCategory && r.value.isEmpty())
        return refused(QStringLiteral("インポート区分名を入力してください。"));
    r.ok = true;
    // Blanks dropped at the ends are no cut.
    r.shortened = r.value != trimBlanks(entered);
    if (r.shortened)
        r.message = QStringLiteral("%1は%2文字までです。先頭の%2文字を保存します。")
                        .arg(columnLabel(column))
                        .arg(kRecipientFieldLength);
    return r;
}

} // namespace

QString normalisedRecipientAddress(QStringView entered)
{
    return trimBlanks(narrowLower(entered.toString()));
}

QString storedRecipientText(const QString &entered)
{
    qsizetype n = kRecipientFieldLength;
    if (entered.size() <= n)
        return trimBlanks(entered);
    if (entered.at(n - 1).isHighSurrogate())
        --n;
    return trimBlanks(entered.left(n));
}

RecipientEdit checkRecipientField(AddressColumns::Column column, const QString &entered)
{
    switch (column) {
    case AddressColumns::ColAddress: return checkAddress(entered);
    case AddressColumns::ColName1:
    case AddressColumns::ColName2:
    case AddressColumns::ColCategory: return checkText(column, entered);
    case AddressColumns::ColMemo: {
        RecipientEdit r;
        r.ok = true;
        r.value = entered.isEmpty() ? QString() : entered;
        return r;
    }
    default: return refused(QStringLiteral("この列は変更できません。"));
    }
}

RecipientEdit storeRecipientField(AddressDb &db, qint64 id, AddressColumns::Column column, const QString &entered)
{
    RecipientEdit r = checkRecipientField(column, entered);
    if (!r.ok)
        return r;
    QString why;
    int changed = 0;
    const QVariant value = r.value.isNull() ? QVariant() : QVariant(r.value);
    if (!db.exec(QString::fromUtf8(updateSql(column)), {value, QVariant(id)}, &why, &changed))
        return databaseFailure(db, why);
    if (changed == 0)
        return refused(QStringLiteral("この宛先はデータベースにありません。"));
    r.id = id;
    if (column == AddressColumns::ColAddress && isSuppressed(db, r.value)) {
        if (!db.exec(QStringLiteral("UPDATE 宛先 SET 送信区分 = 0 WHERE 宛先ID = ?"), {QVariant(id)}, &why))
            return databaseFailure(db, why);
        r.held = true;
        r.message = suppressedNote();
    }
    return r;
}

RecipientEdit addRecipient(AddressDb &db, const NewRecipient &fields, const QDate &registered)
{
    using M = AddressColumns;
    const std::pair<M::Column, const QString *> entered[] = {
        {M::ColCategory, &fields.category}, {M::ColName1, &fields.name1}, {M::ColName2, &fields.name2},
        {M::ColAddress, &fields.address},   {M::ColMemo, &fields.memo},
    };
    RecipientEdit checked[5];
    QStringList notes;
    for (int i = 0; i < 5; ++i) {
        checked[i] = checkRecipientField(entered[i].first, *entered[i].second);
        if (!checked[i].ok)
            return checked[i];
        if (checked[i].shortened)
            notes << checked[i].message;
    }

    DbTransaction transaction(db);
    if (!transaction.isActive())
        return databaseFailure(db, transaction.error());
    qint64 id = 0;
    {
        DbStatement max(db, "SELECT max(宛先ID) FROM 宛先");
        if (max.step() != DbStatement::Row)
            return databaseFailure(db, max.error());
        id = max.int64(0) + 1; // NULL on an empty table reads as 0
    }
    DbStatement ins(db,
                    "INSERT INTO 宛先 (宛先ID, 送信区分, インポート区分名, 宛先1, 宛先2, メールアドレス, 登録日, メモ) "
                    "VALUES (?, 1, ?, ?, ?, ?, ?, ?)");
    bool bound = ins.bindInt64(1, id);
    for (int i = 0; i < 4; ++i)
        bound = bound && ins.bindText(2 + i, checked[i].value);
    bound = bound && ins.bindText(6, addressDateText(registered));
    bound = bound && (checked[4].value.isNull() ? ins.bindNull(7) : ins.bindText(7, checked[4].value));
    if (!bound || ins.step() != DbStatement::Done)
        return databaseFailure(db, ins.error());
    ins.reset();
    QString why;
    const int held = holdSuppressedRows(db, id, &why);
    if (held < 0)
        return databaseFailure(db, why);
    if (!transaction.commit())
        return databaseFailure(db, transaction.error());

    RecipientEdit r;
    r.ok = true;
    r.id = id;
    r.shortened = !notes.isEmpty();
    r.held = held > 0;
    if (r.held)
        notes << suppressedNote();
    r.message = notes.join(QLatin1Char('\n'));
    return r;
}

bool addressStored(AddressDb &db, const QString &entered, qint64 exceptId, QString *error)
{
    DbStatement q(db, "SELECT 1 FROM 宛先 WHERE メールアドレス = ? AND 宛先ID <> ? LIMIT 1");
    if (!q.bindText(1, normalisedRecipientAddress(entered)) || !q.bindInt64(2, exceptId)) {
        if (error)
            *error = q.error();
        return false;
    }
    const DbStatement::Step step = q.step();
    if (step == DbStatement::Error && error)
        *error = q.error();
    return step == DbStatement::Row;
}
