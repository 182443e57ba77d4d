#include "preflight.h"

#include "mailaddress.h"
#include "sendlist.h"

#include <QFile>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kEntriesShown = 5;
}

QString preflightMessage(const QString &fromAddress, const QString &attachmentText)
{
    QStringList parts;

    QStringList unreadable;
    for (const QString &path : attachmentText.split(QLatin1Char('\t'), Qt::SkipEmptyParts)) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            unreadable << path;
    }
    if (!unreadable.isEmpty())
        parts << QStringLiteral("次の添付ファイルが見つからないか、読めません。\n")
                     + unreadable.join(QLatin1Char('\n'));

    const MailAddress from = parseMailAddress(fromAddress);
    if (!from.isValid())
        parts << QStringLiteral("送信元メールアドレス「%1」は使えません（%2）。アカウントの設定を確認してください。")
                     .arg(printableAddress(fromAddress), addressProblemTextJa(from.problem));

    return parts.join(QStringLiteral("\n\n"));
}

QString messageSizeMessage(qint64 size, qint64 limit)
{
    if (limit <= 0 || size <= limit)
        return {};
    // Tenths of a MB, the message's rounded up and the limit's down, so the
    // two never read alike.
    constexpr double kTenth = 1024 * 1024 / 10.0;
    auto mb = [](double tenths) { return QString::number(tenths / 10, 'f', 1); };
    return QStringLiteral("添付ファイルを含めたメールの大きさ（%1 MB）が、サーバーの上限（%2 MB）を超えています。")
        .arg(mb(std::ceil(size / kTenth)), mb(std::floor(limit / kTenth)));
}

AddressProblems findAddressProblems(const SendList &list)
{
    AddressProblems p;
    QSet<QString> seen;
    seen.reserve(list.count());
    for (qsizetype i = 0; i < list.count(); ++i) {
        const QString address = list.address(i);
        if (!parseMailAddress(address).isValid()) {
            p.refused << i;
            continue;
        }
        // The import keeps addresses in lower case; a list from elsewhere
        // may not.
        const QString key = address.toLower();
        if (seen.contains(key))
            p.duplicates << i;
        else
            seen.insert(key);
    }
    return p;
}

QString describeRefused(const SendList &list, const QList<qsizetype> &refused)
{
    QStringList shown;
    for (qsizetype k = 0; k < std::min<qsizetype>(refused.size(), kEntriesShown); ++k) {
        const QString address = list.address(refused[k]);
        shown << QStringLiteral("%1件目: %2（%3）")
                     .arg(refused[k] + 1)
                     .arg(printableAddress(address), addressProblemTextJa(parseMailAddress(address).problem));
    }
    if (refused.size() > kEntriesShown)
        shown << QStringLiteral("…");
    return shown.join(QLatin1Char('\n'));
}

QList<qsizetype> findSuppressed(const SendList &list, const QSet<QString> &suppressed)
{
    QList<qsizetype> out;
    if (suppressed.isEmpty())
        return out;
    for (qsizetype i = 0; i < list.count(); ++i)
        if (suppressed.contains(list.address(i).trimmed().toLower()))
            out << i;
    return out;
}

QList<qsizetype> mergedEntries(const QList<qsizetype> &a, const QList<qsizetype> &b)
{
    QList<qsizetype> out = a + b;
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

RecipientRows withoutEntries(const RecipientRows &rows, const QList<qsizetype> &entries)
{
    if (entries.isEmpty())
        return rows;
    RecipientRows kept;
    qsizetype next = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (next < entries.size() && entries[next] == i) {
            ++next;
            continue;
        }
        kept.appendUtf8(rows.utf8(i, 0), rows.utf8(i, 1), rows.utf8(i, 2));
    }
    return kept;
}
