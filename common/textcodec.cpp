#include "textcodec.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>
#include <cerrno>
#include <iconv.h>

namespace {

// iconv over a whole buffer. Returns false on an invalid or incomplete
// sequence, with the input offset where it happened.
bool runIconv(const char *to, const char *from, const QByteArray &in, QByteArray *out,
              qsizetype *badOffset, bool substitute)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out->clear();
    out->reserve(in.size() * 2 + 16);
    char buf[16384];
    char *inPtr = const_cast<char *>(in.constData());
    size_t inLeft = static_cast<size_t>(in.size());
    bool ok = true;
    while (inLeft > 0) {
        char *outPtr = buf;
        size_t outLeft = sizeof buf;
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out->append(buf, static_cast<qsizetype>(outPtr - buf));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            if (substitute && errno == EILSEQ) {
                // Skip one UTF-8 character and put '?' in its place.
                const unsigned char c = static_cast<unsigned char>(*inPtr);
                size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
                n = std::min(n, inLeft);
                inPtr += n;
                inLeft -= n;
                out->append('?');
                ok = false;
                continue;
            }
            if (badOffset)
                *badOffset = inPtr - in.constData();
            iconv_close(cd);
            return false;
        }
    }
    // Flush any shift state.
    char *outPtr = buf;
    size_t outLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out->append(buf, static_cast<qsizetype>(outPtr - buf));
    iconv_close(cd);
    return ok || substitute;
}

bool isAscii(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

} // namespace

std::optional<QString> decodeCp932(const QByteArray &bytes, QString *error)
{
    // Plain ASCII needs no conversion, and it is by far the common case.
    bool ascii = true;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) { ascii = false; break; }
    if (ascii)
        return QString::fromLatin1(bytes);

    QByteArray utf8;
    qsizetype bad = -1;
    if (!runIconv("UTF-8", "CP932", bytes, &utf8, &bad, false)) {
        if (error)
            *error = bad >= 0
                ? QStringLiteral("invalid code page 932 byte sequence at offset %1").arg(bad)
                : QStringLiteral("code page 932 conversion is not available");
        return std::nullopt;
    }
    return QString::fromUtf8(utf8);
}

QByteArray encodeCp932(const QString &text, bool *lossless)
{
    if (isAscii(text)) {
        if (lossless)
            *lossless = true;
        return text.toLatin1();
    }
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    qsizetype bad = -1;
    if (runIconv("CP932", "UTF-8", utf8, &out, &bad, false)) {
        // Some characters (the yen sign, the wave dash, the em dash, ...) are
        // written as a look-alike that reads back as another character, so
        // only a round trip tells whether the text survives.
        if (lossless)
            *lossless = decodeCp932(out) == text;
        return out;
    }
    if (bad < 0) {  // no converter at all
        if (lossless)
            *lossless = false;
        return text.toLatin1();
    }
    runIconv("CP932", "UTF-8", utf8, &out, &bad, true);
    if (lossless)
        *lossless = false;
    return out;
}

QString cp932Unwritable(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString c = text.mid(i, len);
        i += len - 1;
        if (c.at(0).unicode() < 0x80 || out.contains(c))
            continue;
        bool lossless = false;
        encodeCp932(c, &lossless);
        if (!lossless)
            out += c;
    }
    return out;
}

bool isValidUtf8(QByteArrayView bytes, bool *multibyte)
{
    bool wide = false;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) { wide = true; break; }
    if (multibyte)
        *multibyte = wide;
    if (!wide)
        return true;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

bool isValidCp932(const QByteArray &bytes)
{
    return decodeCp932(bytes).has_value();
}

std::optional<QString> readCp932File(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString();
        return std::nullopt;
    }
    return decodeCp932(bytes, error);
}

bool writeCp932File(const QString &path, const QString &text, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray bytes = encodeCp932(text);
    if (f.write(bytes) != bytes.size()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    f.close();
    return true;
}

QString toCrLf(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            out += QStringLiteral("\r\n");
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n')) {
            out += QStringLiteral("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString toLf(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

int LenMbcs(const QString &text)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x80 || (u >= 0xFF61 && u <= 0xFF9F)) {
            n += 1;
        } else {
            n += 2;
            // A surrogate pair is one character.
            if (QChar::isHighSurrogate(u) && i + 1 < text.size()
                && text.at(i + 1).isLowSurrogate())
                ++i;
        }
    }
    return n;
}

QString leftMbcs(const QString &text, int maxBytes)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        const bool pair = QChar::isHighSurrogate(u) && i + 1 < text.size()
                          && text.at(i + 1).isLowSurrogate();
        const int w = (u < 0x80 || (u >= 0xFF61 && u <= 0xFF9F)) ? 1 : 2;
        if (n + w > maxBytes)
            return text.left(i);
        n += w;
        if (pair)
            ++i;
    }
    return text;
}

namespace {

// Full-width katakana U+30A1..U+30FC to half-width, voiced forms as base +
// U+FF9E (dakuten) or U+FF9F (handakuten). An empty entry has no half-width
// form and stays as it is.
const QHash<char16_t, QString> &katakanaTable()
{
    static const QHash<char16_t, QString> table = [] {
        QHash<char16_t, QString> t;
        const char16_t *plain =
            u"ァｧアｱィｨイｲゥｩウｳェｪエｴォｫオｵカｶキｷクｸケｹコｺサｻシｼスｽセｾソｿタﾀチﾁッｯツﾂテﾃトﾄ"
            u"ナﾅニﾆヌﾇネﾈノﾉハﾊヒﾋフﾌヘﾍホﾎマﾏミﾐムﾑメﾒモﾓャｬヤﾔュｭユﾕョｮヨﾖラﾗリﾘルﾙレﾚロﾛ"
            u"ワﾜヲｦンﾝー\uFF70。｡「｢」｣、､・･゛ﾞ゜ﾟ";
        for (const char16_t *p = plain; p[0] && p[1]; p += 2)
            t.insert(p[0], QString(QChar(p[1])));
        const char16_t *voiced = u"ガカギキグクゲケゴコザサジシズスゼセゾソダタヂチヅツデテドトバハビヒブフベヘボホ";
        for (const char16_t *p = voiced; p[0] && p[1]; p += 2)
            t.insert(p[0], t.value(p[1]) + QChar(0xFF9E));
        const char16_t *semi = u"パハピヒプフペヘポホ";
        for (const char16_t *p = semi; p[0] && p[1]; p += 2)
            t.insert(p[0], t.value(p[1]) + QChar(0xFF9F));
        t.insert(u'ヴ', t.value(u'ウ') + QChar(0xFF9E));
        t.insert(u'ヷ', t.value(u'ワ') + QChar(0xFF9E));
        t.insert(u'ヺ', t.value(u'ヲ') + QChar(0xFF9E));
        return t;
    }();
    return table;
}

} // namespace

QString narrowWidth(const QString &text)
{
    if (isAscii(text))
        return text;
    QString out;
    out.reserve(text.size());
    const auto &kana = katakanaTable();
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E) {
            out += QChar(char16_t(u - 0xFEE0));
        } else if (u == 0x3000) {
            out += QLatin1Char(' ');
        } else if (u >= 0x3000 && u <= 0x30FF) {
            const auto it = kana.constFind(u);
            if (it != kana.constEnd())
                out += *it;
            else
                out += c;
        } else {
            out += c;
        }
    }
    return out;
}

QString narrowLower(const QString &text)
{
    return narrowWidth(text).toLower();
}
