#include "unsubscribe.h"

#include "account.h"
#include "settingsstore.h"
#include "unsubscribetoken.h"

#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace {
const QString kAddressMark = QStringLiteral("{配信停止アドレス}");
const QString kUrlMark = QStringLiteral("{配信停止URL}");
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

UnsubscribeParts unsubscribeParts(const AccountRecord &account, SettingsStore &settings)
{
    UnsubscribeParts parts;
    parts.on = account.Unsubscribe;
    if (!parts.on)
        return parts;
    parts.address = account.UnsubscribeAddress.trimmed();
    if (parts.address.isEmpty())
        parts.address = account.szFrom.trimmed();
    // A page that isn't https is never offered; the account dialog refuses it.
    if (isUnsubscribeUrl(account.UnsubscribeUrl))
        parts.url = account.UnsubscribeUrl.trimmed();
    parts.footer = account.UnsubscribeFooter;
    parts.secret = unsubscribeSecret(settings);
    return parts;
}

UnsubscribeParts unsubscribeParts(const AccountRecord &account, const QString &settingsFile)
{
    if (!account.Unsubscribe)
        return {};
    if (settingsFile.isEmpty()) {
        SettingsStore store;
        return unsubscribeParts(account, store);
    }
    SettingsStore store(settingsFile);
    return unsubscribeParts(account, store);
}

bool isUnsubscribeUrl(const QString &url)
{
    const QUrl u(url.trimmed(), QUrl::StrictMode);
    return u.isValid() && u.scheme() == QLatin1String("https") && !u.host().isEmpty();
}

QString defaultUnsubscribeFooter()
{
    return QStringLiteral("――――――――――――――――――――\r\n"
                          "このメールの配信停止をご希望の方は、件名を「配信停止」として\r\n"
                          "{配信停止アドレス} までお送りください。\r\n"
                          "配信停止のお手続きページ: {配信停止URL}\r\n");
}

QString unsubscribeMailto(const UnsubscribeParts &parts, const QString &recipient)
{
    // The subject stays ASCII: a mail program would encode anything else, and
    // the token could no longer be found in the subject as it arrives.
    const QByteArray token = unsubscribeToken(recipient, parts.secret);
    return QStringLiteral("mailto:") + QString::fromLatin1(QUrl::toPercentEncoding(parts.address, "@!$'*+.=_~-"))
           + QStringLiteral("?subject=unsubscribe%20") + QString::fromLatin1(token);
}

QString unsubscribePage(const UnsubscribeParts &parts, const QString &recipient)
{
    if (parts.url.isEmpty())
        return {};
    QUrl url(parts.url);
    QUrlQuery query(url);
    query.addQueryItem(QStringLiteral("u"), QString::fromLatin1(unsubscribeToken(recipient, parts.secret)));
    url.setQuery(query);
    return QString::fromLatin1(url.toEncoded());
}

QString unsubscribeFooter(const UnsubscribeParts &parts, const QString &recipient)
{
    if (!parts.on || parts.footer.trimmed().isEmpty())
        return {};
    const QString page = unsubscribePage(parts, recipient);
    QStringList lines;
    for (const QString &line : parts.footer.split(kCrLf)) {
        if (page.isEmpty() && line.contains(kUrlMark))
            continue;
        lines.append(QString(line).replace(kAddressMark, parts.address).replace(kUrlMark, page));
    }
    QString text = lines.join(kCrLf);
    if (!text.endsWith(kCrLf))
        text += kCrLf;
    return text;
}

mime::RecipientExtra unsubscribeExtra(const UnsubscribeParts &parts, const QString &recipient)
{
    mime::RecipientExtra extra;
    if (!parts.on || parts.secret.isEmpty())
        return extra;
    // "=" ends the token in the Message-ID: the "." that follows belongs to
    // the id, and a token may hold dots itself.
    extra.idPart = unsubscribeToken(recipient, parts.secret) + '=';
    extra.headers = "List-Unsubscribe: <" + unsubscribeMailto(parts, recipient).toLatin1() + ">";
    const QString page = unsubscribePage(parts, recipient);
    if (!page.isEmpty())
        extra.headers += ",\r\n <" + page.toLatin1() + ">\r\nList-Unsubscribe-Post: List-Unsubscribe=One-Click";
    extra.headers += "\r\n";
    const QString footer = unsubscribeFooter(parts, recipient);
    if (!footer.isEmpty())
        extra.tail = kCrLf + footer;
    return extra;
}

const QString kUnsubscribeNoticeQuestion = QStringLiteral(
    "配信停止の方法が本文にありません。広告・宣伝のメールには、送信者の名称と配信停止の連絡先を記載する"
    "必要があります。このまま送信しますか？");

bool lacksUnsubscribeNotice(const AccountRecord &account, const QString &bodyText)
{
    if (account.NotAdvertising)
        return false;
    // No secret is needed to see what the text shows: the page's address
    // with a token still starts with the page.
    UnsubscribeParts parts;
    parts.on = account.Unsubscribe;
    parts.address = account.UnsubscribeAddress.trimmed();
    if (parts.address.isEmpty())
        parts.address = account.szFrom.trimmed();
    if (isUnsubscribeUrl(account.UnsubscribeUrl))
        parts.url = account.UnsubscribeUrl.trimmed();
    parts.footer = account.UnsubscribeFooter;
    const QString text = bodyText + kCrLf + unsubscribeFooter(parts, parts.address);
    const bool showsWay = (!parts.address.isEmpty() && text.contains(parts.address, Qt::CaseInsensitive))
                          || (!parts.url.isEmpty() && text.contains(parts.url));
    const QString name = account.szFromName.trimmed();
    return !showsWay || name.isEmpty() || !text.contains(name);
}
