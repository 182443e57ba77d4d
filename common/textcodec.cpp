#include "textcodec.h"

#include "filewrite.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace {

// A converter kept open for the thread: opening one costs more than
// converting a line, and the log converts a line a message.
class Converter {
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (isOpen())
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool isOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // Ready for new input.
    iconv_t reset()
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        return m_cd;
    }

private:
    iconv_t m_cd;
};

Converter &toCp932Converter()
{
    static thread_local Converter toCp932("CP932", "UTF-8");
    return toCp932;
}

// iconv over a whole buffer, from UTF-8 to CP932. Returns false on an
// invalid or incomplete sequence, with the input offset where it happened.
bool utf8ToCp932(const QByteArray &in, QByteArray *out, qsizetype *badOffset, bool substitute)
{
    Converter &converter = toCp932Converter();
    if (!converter.isOpen())
        return false;
    iconv_t cd = converter.reset();
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
            return false;
        }
    }
    // Flush any shift state.
    char *outPtr = buf;
    size_t outLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out->append(buf, static_cast<qsizetype>(outPtr - buf));
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

static std::optional<QString> decodeCp932Table(const QByteArray &bytes, QString *error);

std::optional<QString> decodeCp932(const QByteArray &bytes, QString *error)
{
    // Plain ASCII needs no conversion, and it is by far the common case.
    bool ascii = true;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return QString::fromLatin1(bytes);
    return decodeCp932Table(bytes, error);
}

namespace {

// The code of every character that CP932 writes and reads back unchanged,
// taken once from the converter itself: a lookup per character instead of a
// conversion per text (the log encodes a line a message).
struct Cp932Table {
    bool ok = false;
    quint16 code[0x10000] = {};     // 0: not written back unchanged
    char16_t unicode[0x10000] = {}; // by code (one byte or lead << 8 | trail); 0: invalid

    Cp932Table()
    {
        QList<quint16> codes;
        for (int b = 0xa1; b <= 0xdf; ++b)
            codes << quint16(b);
        for (int lead = 0x81; lead <= 0xfc; ++lead)
            for (int trail = 0x40; trail <= 0xfc; ++trail)
                if ((lead <= 0x9f || lead >= 0xe0) && trail != 0x7f)
                    codes << quint16(lead << 8 | trail);
        // Every code in one pass: each valid one reads as one character of
        // the basic plane; an invalid one stops the converter and is skipped.
        QByteArray in;
        for (quint16 c : codes) {
            if (c > 0xff)
                in += char(c >> 8);
            in += char(c & 0xff);
        }
        iconv_t cd = iconv_open("UTF-16LE", "CP932");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return;
        QList<char16_t> read(codes.size());
        char *inPtr = in.data();
        size_t inLeft = size_t(in.size());
        qsizetype index = 0;
        QList<char16_t> duplicates;
        while (inLeft > 0 && index < codes.size()) {
            char16_t out[1];
            char *outPtr = reinterpret_cast<char *>(out);
            size_t outLeft = sizeof out;
            const size_t width = codes[index] > 0xff ? 2 : 1;
            size_t step = width;
            const size_t r = iconv(cd, &inPtr, &step, &outPtr, &outLeft);
            if (r == size_t(-1) || outLeft != 0) {
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                inPtr += step; // what was not taken of this code
                read[index] = 0;
            } else {
                read[index] = out[0];
            }
            inLeft -= width;
            ++index;
        }
        iconv_close(cd);
        for (qsizetype i = 0; i < codes.size(); ++i) {
            const char16_t u = read[i];
            unicode[codes[i]] = u;
            if (u < 0x80)
                continue;
            if (code[u])
                duplicates << u;
            else
                code[u] = codes[i];
        }
        // Where two codes read as one character, the converter's own choice.
        for (char16_t u : duplicates) {
            QByteArray bytes;
            qsizetype bad = -1;
            if (utf8ToCp932(QString(QChar(u)).toUtf8(), &bytes, &bad, false))
                code[u] = bytes.size() == 1 ? quint8(bytes[0]) : quint16(quint8(bytes[0]) << 8 | quint8(bytes[1]));
        }
        ok = code[0x3042] != 0; // あ
    }
};

const Cp932Table &cp932Table()
{
    static const auto table = std::make_unique<Cp932Table>();
    return *table;
}

} // namespace

// A lookup per character in the table the converter itself filled: the same
// strictness as converting, several times quicker on large files.
static std::optional<QString> decodeCp932Table(const QByteArray &bytes, QString *error)
{
    const Cp932Table &t = cp932Table();
    if (!t.ok) {
        if (error)
            *error = QStringLiteral("code page 932 conversion is not available");
        return std::nullopt;
    }
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *o = out.data();
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        char16_t u;
        qsizetype width = 1;
        if (b < 0x80) {
            u = b;
        } else if (b >= 0xa1 && b <= 0xdf) {
            u = t.unicode[b];
        } else {
            u = i + 1 < n ? t.unicode[quint16(b << 8 | p[i + 1])] : 0;
            width = 2;
        }
        if (b >= 0x80 && u == 0) {
            if (error)
                *error = QStringLiteral("invalid code page 932 byte sequence at offset %1").arg(i);
            return std::nullopt;
        }
        *o++ = QChar(u);
        i += width;
    }
    out.truncate(o - out.constData());
    return out;
}

QByteArray encodeCp932(const QString &text, bool *lossless)
{
    if (isAscii(text)) {
        if (lossless)
            *lossless = true;
        return text.toLatin1();
    }
    const Cp932Table &table = cp932Table();
    if (!table.ok) { // no converter at all
        if (lossless)
            *lossless = false;
        return text.toLatin1();
    }
    // At most two bytes a character, except look-alikes the converter
    // writes longer, which go through append.
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    char *p = out.data();
    bool kept = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x80) {
            *p++ = char(u);
            continue;
        }
        if (const quint16 c = table.code[u]) {
            if (c > 0xff)
                *p++ = char(c >> 8);
            *p++ = char(c & 0xff);
            continue;
        }
        // Not written back unchanged: the converter's look-alike for some
        // (the yen sign as 0x5C, the wave dash as U+FF5E), "?" for the rest.
        kept = false;
        const bool pair = QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        QByteArray alike;
        qsizetype bad = -1;
        if (pair || !utf8ToCp932(QString(QChar(u)).toUtf8(), &alike, &bad, false) || alike.size() > 2)
            alike = "?";
        for (char b : alike)
            *p++ = b;
        if (pair)
            ++i;
    }
    out.truncate(p - out.constData());
    if (lossless)
        *lossless = kept;
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
        if (static_cast<unsigned char>(c) >= 0x80) {
            wide = true;
            break;
        }
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

std::optional<QByteArray> readFileBytes(const QString &path, QString *error)
{
    QFile f(path);
    QByteArray bytes;
    if (f.open(QIODevice::ReadOnly))
        bytes = f.readAll();
    if (!f.isOpen() || f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString();
        return std::nullopt;
    }
    return bytes;
}

std::optional<QString> readCp932File(const QString &path, QString *error)
{
    const std::optional<QByteArray> bytes = readFileBytes(path, error);
    if (!bytes)
        return std::nullopt;
    return decodeCp932(*bytes, error);
}

bool writeCp932File(const QString &path, const QString &text, QString *error)
{
    return saveWholeFile(path, encodeCp932(text), FileAccess::Usual, error);
}

bool writeUtf8File(const QString &path, const QString &text, QString *error)
{
    return saveWholeFile(path, "\xEF\xBB\xBF" + text.toUtf8(), FileAccess::Usual, error);
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
            if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
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
        const bool pair = QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
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
        const char16_t *plain = u"ァｧアｱィｨイｲゥｩウｳェｪエｴォｫオｵカｶキｷクｸケｹコｺサｻシｼスｽセｾソｿタﾀチﾁッｯツﾂテﾃトﾄ"
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

QString trimBlanks(const QString &text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b) == QLatin1Char(' '))
        ++b;
    while (e > b && text.at(e - 1) == QLatin1Char(' '))
        --e;
    return b == 0 && e == text.size() ? text : text.mid(b, e - b);
}
