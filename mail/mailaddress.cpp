#include "mailaddress.h"

#include <unicode/uidna.h>

#include <algorithm>

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

// The domain in its ASCII (A-label) and its Unicode form under UTS #46,
// nontransitional: ß, ς, ZWJ and ZWNJ keep their meaning instead of turning
// into another domain. The hostname rules (STD3) keep a full-width "＜" or
// "／" from being mapped into something the envelope would misread.
struct IdnaDomain {
    QByteArray ascii;
    QByteArray unicode;
    bool valid = false;
};

const UIDNA *uts46()
{
    static const UIDNA *const idna = [] {
        UErrorCode status = U_ZERO_ERROR;
        UIDNA *opened = uidna_openUTS46(UIDNA_USE_STD3_RULES | UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ
                                            | UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_NONTRANSITIONAL_TO_UNICODE,
                                        &status);
        return U_SUCCESS(status) ? opened : nullptr;
    }();
    return idna;
}

using IdnaConvert = int32_t (*)(const UIDNA *, const char *, int32_t, char *, int32_t, UIDNAInfo *, UErrorCode *);

// One conversion of the whole name; false when ICU reports any error.
bool convertName(IdnaConvert convert, const QByteArray &name, QByteArray *out)
{
    const UIDNA *idna = uts46();
    if (!idna)
        return false;
    out->resize(name.size() * 2 + 64);
    for (int attempt = 0; attempt < 2; ++attempt) {
        UIDNAInfo info = UIDNA_INFO_INITIALIZER;
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = convert(idna, name.constData(), int32_t(name.size()), out->data(), int32_t(out->size()),
                                  &info, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out->resize(n);
            continue;
        }
        if (U_FAILURE(status) || info.errors != 0)
            return false;
        out->resize(n);
        return true;
    }
    return false;
}

IdnaDomain idnaDomain(const QString &domain)
{
    const QByteArray utf8 = domain.toUtf8();
    IdnaDomain d;
    d.valid = convertName(uidna_nameToASCII_UTF8, utf8, &d.ascii)
              && convertName(uidna_nameToUnicodeUTF8, utf8, &d.unicode);
    return d;
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
        m.wireUtf8 = m.wire;
        if (m.wire.size() > kMaxOctets)
            m.problem = Problem::TooLong;
        return m;
    }
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    const QString local = address.left(at);
    const QString domain = address.mid(at + 1);
    const QByteArray localUtf8 = local.toUtf8();
    m.needsSmtpUtf8 = !isAscii(local);
    if (isAscii(domain)) {
        m.wire = localUtf8 + '@' + domain.toLatin1();
        m.wireUtf8 = m.wire;
    } else {
        const IdnaDomain d = idnaDomain(domain);
        if (!d.valid) {
            m.problem = Problem::Domain;
            return m;
        }
        m.wire = localUtf8 + '@' + d.ascii;
        m.wireUtf8 = localUtf8 + '@' + d.unicode;
    }
    // The limit holds for either form the address is sent in.
    if (std::max(m.wire.size(), m.wireUtf8.size()) > kMaxOctets)
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
    case Problem::Domain: return QStringLiteral("an invalid domain name");
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
