#include "preflight.h"

#include "mailaddress.h"
#include "sendlist.h"

#include <QFile>
#include <QStringList>

namespace {
constexpr int kEntriesShown = 5;
}

QString preflightMessage(const QString &fromAddress, const QString &attachmentText, const SendList &list)
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

    qsizetype refused = 0;
    QStringList shown;
    for (qsizetype i = 0; i < list.count(); ++i) {
        const QString address = list.address(i);
        const MailAddress to = parseMailAddress(address);
        if (to.isValid())
            continue;
        if (++refused <= kEntriesShown)
            shown << QStringLiteral("%1件目: %2（%3）")
                         .arg(i + 1)
                         .arg(printableAddress(address), addressProblemTextJa(to.problem));
    }
    if (refused > 0)
        parts << QStringLiteral("送信できないメールアドレスが%1件あります。\n").arg(refused)
                     + shown.join(QLatin1Char('\n')) + (refused > kEntriesShown ? QStringLiteral("\n…") : QString());
    return parts.join(QStringLiteral("\n\n"));
}
