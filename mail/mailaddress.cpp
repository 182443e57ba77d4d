#include "mailaddress.h"

#include <QUrl>

namespace {

constexpr qsizetype kMaxOctets = 254;

bool isAscii(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

QString problemOf(const QString &a)
{
    if (a.isEmpty())
        return QStringLiteral("empty");
    qsizetype ats = 0;
    for (QChar c : a) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || u == 0x2028 || u == 0x2029)
            return QStringLiteral("a line break or control character");
        if (u == ' ' || (u >= 0x80 && c.isSpace()))
            return QStringLiteral("a blank");
        if (u == ',')
            return QStringLiteral("a comma");
        if (u == '<' || u == '>')
            return QStringLiteral("an angle bracket");
        if (u == '@')
            ++ats;
    }
    if (ats != 1)
        return QStringLiteral("not exactly one @");
    const qsizetype at = a.indexOf(QLatin1Char('@'));
    if (at == 0 || at == a.size() - 1)
        return QStringLiteral("nothing before or after the @");
    return {};
}

} // namespace

MailAddress parseMailAddress(const QString &address)
{
    MailAddress m;
    m.problem = problemOf(address);
    if (!m.problem.isEmpty())
        return m;
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    const QString local = address.left(at);
    const QString domain = address.mid(at + 1);
    QByteArray wireDomain;
    if (isAscii(domain)) {
        wireDomain = domain.toLatin1();
    } else {
        wireDomain = QUrl::toAce(domain, QUrl::AceTransitionalProcessing);
        if (wireDomain.isEmpty()) {
            m.problem = QStringLiteral("a domain that cannot be written in ASCII");
            return m;
        }
    }
    m.needsSmtpUtf8 = !isAscii(local);
    m.wire = local.toUtf8() + '@' + wireDomain;
    // The limit holds for the address as written and as sent.
    const qsizetype written = wireDomain.size() == domain.size() ? m.wire.size() : address.toUtf8().size();
    if (std::max(m.wire.size(), written) > kMaxOctets)
        m.problem = QStringLiteral("longer than 254 octets");
    return m;
}

QString addressErrorText(const QString &role, const MailAddress &checked, const QString &address)
{
    QString shown;
    for (QChar c : address) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return QStringLiteral("Invalid %1 address (%2): %3").arg(role, checked.problem, shown);
}
