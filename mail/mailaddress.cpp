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

using Problem = MailAddress::Problem;

Problem problemOf(const QString &a)
{
    if (a.isEmpty())
        return Problem::Empty;
    qsizetype ats = 0;
    for (QChar c : a) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || u == 0x2028 || u == 0x2029)
            return Problem::ControlCharacter;
        if (u == ' ' || (u >= 0x80 && c.isSpace()))
            return Problem::Blank;
        if (u == ',')
            return Problem::Comma;
        if (u == '<' || u == '>')
            return Problem::AngleBracket;
        if (u == '@')
            ++ats;
    }
    if (ats != 1)
        return Problem::NotOneAt;
    const qsizetype at = a.indexOf(QLatin1Char('@'));
    if (at == 0 || at == a.size() - 1)
        return Problem::EmptyPart;
    return Problem::None;
}

} // namespace

MailAddress parseMailAddress(const QString &address)
{
    MailAddress m;
    m.problem = problemOf(address);
    if (!m.isValid())
        return m;
    // Nearly every address is plain ASCII: it goes on the wire as it is.
    if (isAscii(address)) {
        m.wire = address.toLatin1();
        if (m.wire.size() > kMaxOctets)
            m.problem = Problem::TooLong;
        return m;
    }
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    const QString local = address.left(at);
    const QString domain = address.mid(at + 1);
    QByteArray wireDomain;
    if (isAscii(domain)) {
        wireDomain = domain.toLatin1();
    } else {
        wireDomain = QUrl::toAce(domain, QUrl::AceTransitionalProcessing);
        if (wireDomain.isEmpty()) {
            m.problem = Problem::Domain;
            return m;
        }
    }
    m.needsSmtpUtf8 = !isAscii(local);
    m.wire = local.toUtf8() + '@' + wireDomain;
    // The limit holds for the address as written and as sent.
    const qsizetype written = wireDomain.size() == domain.size() ? m.wire.size() : address.toUtf8().size();
    if (std::max(m.wire.size(), written) > kMaxOctets)
        m.problem = Problem::TooLong;
    return m;
}

QString addressProblemText(MailAddress::Problem problem)
{
    switch (problem) {
    case Problem::None: break;
    case Problem::Empty: return QStringLiteral("empty");
    case Problem::ControlCharacter: return QStringLiteral("a line break or control character");
    case Problem::Blank: return QStringLiteral("a blank");
    case Problem::Comma: return QStringLiteral("a comma");
    case Problem::AngleBracket: return QStringLiteral("an angle bracket");
    case Problem::NotOneAt: return QStringLiteral("not exactly one @");
    case Problem::EmptyPart: return QStringLiteral("nothing before or after the @");
    case Problem::Domain: return QStringLiteral("a domain that cannot be written in ASCII");
    case Problem::TooLong: return QStringLiteral("longer than 254 octets");
    }
    return {};
}

QString addressProblemTextJa(MailAddress::Problem problem)
{
    switch (problem) {
    case Problem::None: break;
    case Problem::Empty: return QStringLiteral("空です");
    case Problem::ControlCharacter: return QStringLiteral("改行などの制御文字が含まれています");
    case Problem::Blank: return QStringLiteral("空白が含まれています");
    case Problem::Comma: return QStringLiteral("カンマが含まれています");
    case Problem::AngleBracket: return QStringLiteral("「<」か「>」が含まれています");
    case Problem::NotOneAt: return QStringLiteral("「@」がひとつではありません");
    case Problem::EmptyPart: return QStringLiteral("「@」の前か後が空です");
    case Problem::Domain: return QStringLiteral("ドメイン名が正しくありません");
    case Problem::TooLong: return QStringLiteral("254 バイトを超えています");
    }
    return {};
}

QString printableAddress(const QString &address)
{
    QString shown;
    for (QChar c : address) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString addressErrorText(const QString &role, const MailAddress &checked, const QString &address)
{
    return QStringLiteral("Invalid %1 address (%2): %3")
        .arg(role, addressProblemText(checked.problem), printableAddress(address));
}
