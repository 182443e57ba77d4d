#include "searchclause.h"

#include "textcodec.h"

#include <QDate>
#include <QRegularExpression>

namespace {

const QString kAll = QStringLiteral("すべて選択");
const QString kCategory = QStringLiteral("インポート区分名");
const QString kName1 = QStringLiteral("宛先1");
const QString kName2 = QStringLiteral("宛先2");
const QString kAddress = QStringLiteral("メールアドレス");
const QString kDate = QStringLiteral("登録日");
const QString kMemo = QStringLiteral("メモ");
const QString kHeld = QStringLiteral("送信区分　保留");

// One clause: the fragment and, for a key, its placeholder's value.
SqlClause keyed(const QString &text, const QString &key)
{
    return SqlClause{text, QVariantList{key}, {}};
}

SqlClause dateClause(const QString &text, const QString &key)
{
    SqlClause c;
    c.text = text;
    if (const auto d = SearchClauseBuilder::normaliseDate(key))
        c.params = QVariantList{*d};
    else
        c.error = QStringLiteral("not a date: %1").arg(key);
    return c;
}

} // namespace

QStringList SearchClauseBuilder::firstItems()
{
    return {kAll, kCategory, kName1, kName2, kAddress, kDate, kMemo, kHeld};
}

QStringList SearchClauseBuilder::secondItems()
{
    return {kCategory, kName1, kName2, kAddress, kDate, kMemo, kHeld};
}

QString SearchClauseBuilder::selectAllItem()
{
    return kAll;
}
QString SearchClauseBuilder::heldItem()
{
    return kHeld;
}

KeyInputMode SearchClauseBuilder::keyInputMode(const QString &item)
{
    if (item == kCategory || item == kName1 || item == kName2)
        return KeyInputMode::Japanese;
    if (item == kAddress || item == kDate)
        return KeyInputMode::Off;
    return KeyInputMode::Unchanged;
}

SqlClause SearchClauseBuilder::firstClause(const QString &item, const QString &k, bool exact)
{
    // Partial matches join the wildcards around the bound key, so "%" and
    // "_" typed by the user keep their meaning. Exact matches on text use
    // NOCASE, which folds ASCII letters only, as LIKE does: both kinds agree
    // on case, and full-width letters stay distinct in both.
    if (item == kCategory)
        return keyed(exact ? QStringLiteral("Where (インポート区分名 = ? COLLATE NOCASE)")
                           : QStringLiteral("Where (インポート区分名 Like '%' || ? || '%' )"),
                     k);
    if (item == kName1)
        return keyed(exact ? QStringLiteral("Where (宛先1 = ? COLLATE NOCASE)")
                           : QStringLiteral("Where (宛先1 LIKE '%' || ? || '%')"),
                     k);
    if (item == kName2)
        return keyed(exact ? QStringLiteral("Where (宛先2 = ? COLLATE NOCASE)")
                           : QStringLiteral("Where (宛先2 LIKE '%' || ? || '%')"),
                     k);
    if (item == kAddress)
        return keyed(exact ? QStringLiteral("WHERE (メールアドレス = ? COLLATE NOCASE)")
                           : QStringLiteral("WHERE (メールアドレス LIKE '%' || ? || '%')"),
                     k);
    if (item == kMemo)
        return keyed(exact ? QStringLiteral("WHERE (メモ = ? COLLATE NOCASE)")
                           : QStringLiteral("WHERE (メモ LIKE '%' || ? || '%')"),
                     k);
    if (item == kDate)
        return exact ? dateClause(QStringLiteral("WHERE (登録日 = ?)"), k)
                     : keyed(QStringLiteral("WHERE (登録日 LIKE '%' || ? || '%')"), k);
    if (item == kHeld)
        return SqlClause{QStringLiteral("WHERE (送信区分 = False)"), {}, {}};
    if (item == kAll)
        return SqlClause{QStringLiteral("WHERE (メールアドレス LIKE '%@%' )"), {}, {}};
    return {};
}

SqlClause SearchClauseBuilder::secondClause(const QString &item, const QString &k, bool exact)
{
    if (item == kCategory)
        return keyed(exact ? QStringLiteral(" AND (インポート区分名 = ? COLLATE NOCASE)")
                           : QStringLiteral(" AND (インポート区分名 Like '%' || ? || '%')"),
                     k);
    if (item == kName1)
        return keyed(exact ? QStringLiteral(" AND (宛先1 = ? COLLATE NOCASE)")
                           : QStringLiteral(" AND (宛先1 LIKE '%' || ? || '%')"),
                     k);
    if (item == kName2)
        return keyed(exact ? QStringLiteral(" AND (宛先2 = ? COLLATE NOCASE)")
                           : QStringLiteral(" AND (宛先2 LIKE '%' || ? || '%')"),
                     k);
    if (item == kAddress)
        return keyed(exact ? QStringLiteral(" AND (メールアドレス = ? COLLATE NOCASE)")
                           : QStringLiteral(" AND (メールアドレス LIKE '%' || ? || '%')"),
                     k);
    if (item == kMemo)
        return keyed(exact ? QStringLiteral(" AND (メモ = ? COLLATE NOCASE)")
                           : QStringLiteral(" AND (メモ LIKE '%' || ? || '%')"),
                     k);
    if (item == kDate)
        return exact ? dateClause(QStringLiteral(" AND( 登録日 = ?)"), k)
                     : keyed(QStringLiteral(" AND (登録日 LIKE '%' || ? || '%')"), k);
    if (item == kHeld)
        return SqlClause{QStringLiteral(" AND (送信区分 = False)"), {}, {}};
    return {};
}

namespace {
SqlStatement joined(const QString &head, const SqlClause &a, const SqlClause &b, const QString &tail)
{
    SqlStatement s;
    s.text = head + a.text + b.text + tail;
    s.params = a.params + b.params;
    s.error = !a.error.isEmpty() ? a.error : b.error;
    return s;
}
} // namespace

SqlStatement SearchClauseBuilder::selectStatement(const SqlClause &first, const SqlClause &second)
{
    return joined(QStringLiteral("SELECT * From 宛先 "), first, second, QStringLiteral(" Order by 宛先ID"));
}

SqlStatement SearchClauseBuilder::selectIdsStatement(const SqlClause &first, const SqlClause &second)
{
    return joined(QStringLiteral("SELECT 宛先ID From 宛先 "), first, second, QStringLiteral(" Order by 宛先ID"));
}

SqlStatement SearchClauseBuilder::deleteStatement(const SqlClause &first, const SqlClause &second)
{
    return joined(QStringLiteral("DELETE FROM 宛先 "), first, second, QString());
}

QString SearchClauseBuilder::selectAllIdsSql()
{
    return QStringLiteral("SELECT 宛先ID FROM 宛先 Order by 宛先ID");
}

QString SearchClauseBuilder::deleteAllRowsSql()
{
    // Stored in the older dialect's form; SQLite has no "DELETE *".
    return QStringLiteral("DELETE * FROM 宛先 ")
        .replace(QStringLiteral("DELETE * FROM"), QStringLiteral("DELETE FROM"));
}

std::optional<QString> SearchClauseBuilder::normaliseDate(const QString &key)
{
    static const QRegularExpression re(QStringLiteral("^([0-9]{4})[/-]([0-9]{1,2})[/-]([0-9]{1,2})$"));
    const QString k = narrowWidth(key).trimmed();
    const auto m = re.match(k);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!d.isValid())
        return std::nullopt;
    return d.toString(QStringLiteral("yyyy/MM/dd"));
}
