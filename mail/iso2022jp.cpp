#include "iso2022jp.h"

#include "textcodec.h"

#include <array>
#include <memory>

namespace iso2022jp {

namespace {

constexpr char kToAscii[] = "\x1b(B";
constexpr char kToJis[] = "\x1b$B";
constexpr int kEscapeSize = 3;
// 44 base64 characters: "=?ISO-2022-JP?B?" + 44 + "?=" is 62, and 12 for the
// header name keeps the first line within 76.
constexpr int kWordBytes = 33;
constexpr int kLineChars = 76;

QByteArray twoBytes(int first, int second)
{
    const char bytes[] = {char(first), char(second)};
    return QByteArray(bytes, 2);
}

// The JIS code (row and cell, 0x2121-0x7e7e) of every character, from the
// code page 932 table: rows 1 to 84 only (JIS X 0208 and row 13). The NEC
// selected IBM extensions (rows 89-92) and the IBM extensions have no JIS
// code a reader would understand.
struct JisTable {
    std::array<quint16, 0x10000> code{};

    JisTable()
    {
        for (int lead = 0x81; lead <= 0xea; ++lead) {
            if (lead > 0x9f && lead < 0xe0)
                continue;
            for (int trail = 0x40; trail <= 0xfc; ++trail) {
                if (trail == 0x7f)
                    continue;
                const std::optional<QString> u = decodeCp932(twoBytes(lead, trail));
                if (!u || u->size() != 1)
                    continue;
                quint16 &slot = code[u->at(0).unicode()];
                // Where code page 932 has a character twice, it writes the
                // first code (row 2 before row 13).
                if (slot == 0)
                    slot = jisFromSjis(lead, trail);
            }
        }
        // The JIS X 0208 standard's own readings of characters code page 932
        // reads as their full-width look-alikes: one code for both, as
        // Windows writes them.
        const std::pair<char16_t, char16_t> same[] = {
            {0x301c, 0xff5e}, // WAVE DASH
            {0x2016, 0x2225}, // DOUBLE VERTICAL LINE
            {0x2212, 0xff0d}, // MINUS SIGN
            {0x00a2, 0xffe0}, // CENT SIGN
            {0x00a3, 0xffe1}, // POUND SIGN
            {0x00ac, 0xffe2}, // NOT SIGN
            {0x2014, 0x2015}, // EM DASH
        };
        for (const auto &[standard, windows] : same)
            if (code[standard] == 0)
                code[standard] = code[windows];
    }

    static quint16 jisFromSjis(int lead, int trail)
    {
        const int base = (lead <= 0x9f ? lead - 0x70 : lead - 0xb0) * 2;
        if (trail < 0x9f)
            return quint16((base - 1) << 8 | (trail - (trail < 0x80 ? 0x1f : 0x20)));
        return quint16(base << 8 | (trail - 0x7e));
    }
};

const JisTable &table()
{
    static const std::unique_ptr<JisTable> t = std::make_unique<JisTable>();
    return *t;
}

// Calls f with each code point of the text, a surrogate pair as one.
template <typename F> void forEachCodePoint(const QString &text, F f)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        f(c);
    }
}

// The control characters that switch or shift in ISO-2022: never written
// as they are.
bool isShiftControl(char32_t c)
{
    return c == 0x0e || c == 0x0f || c == 0x1b;
}

// The JIS code of c; 0 for ASCII and for what can't be written.
quint16 jisCode(char32_t c)
{
    return c < 0x80 || c > 0xffff ? 0 : table().code[c];
}

// ISO-2022-JP bytes, one character at a time.
class Writer {
public:
    QByteArray out;
    bool jis = false;

    // Appends c; false when it can't be written ('?' in its place).
    bool put(char32_t c)
    {
        const quint16 j = jisCode(c);
        if (j != 0) {
            if (!jis)
                out += kToJis;
            jis = true;
            out += char(j >> 8);
            out += char(j & 0xff);
            return true;
        }
        const bool ok = c < 0x80 && !isShiftControl(c);
        if (jis)
            out += kToAscii;
        jis = false;
        out += ok ? char(c) : '?';
        return ok;
    }
    void end()
    {
        if (jis)
            out += kToAscii;
        jis = false;
    }
    // The bytes c adds, with the return to ASCII it needs at the end.
    int cost(char32_t c) const
    {
        if (jisCode(c) != 0)
            return (jis ? 0 : kEscapeSize) + 2 + kEscapeSize;
        return (jis ? kEscapeSize : 0) + 1;
    }
};

} // namespace

QString widenKatakana(const QString &text)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i].unicode() < 0xff61 || text[i].unicode() > 0xff9f) {
            out += text[i++];
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && text[end].unicode() >= 0xff61 && text[end].unicode() <= 0xff9f)
            ++end;
        // NFKC joins a kana and its voicing mark into one character; a mark
        // on its own becomes the spacing mark code page 932 has.
        QString wide = text.mid(i, end - i).normalized(QString::NormalizationForm_KC);
        wide.replace(QChar(0x3099), QChar(0x309b));
        wide.replace(QChar(0x309a), QChar(0x309c));
        out += wide;
        i = end;
    }
    return out;
}

bool canWrite(char32_t c)
{
    return (c < 0x80 && !isShiftControl(c)) || jisCode(c) != 0;
}

void Unwritable::add(const QString &text)
{
    forEachCodePoint(widenKatakana(text), [this](char32_t c) {
        if (canWrite(c))
            return;
        ++places;
        const QString s = QString::fromUcs4(&c, 1);
        if (!characters.contains(s))
            characters << s;
    });
}

QByteArray encode(const QString &text)
{
    Writer w;
    w.out.reserve(text.size() * 2 + 16);
    bool lineStart = true;
    forEachCodePoint(widenKatakana(text), [&](char32_t c) {
        if (c < 0x20 && w.jis)
            w.end();
        if (lineStart && c == '.')
            w.out += kToAscii;
        w.put(c);
        lineStart = c == '\n';
    });
    w.end();
    return w.out;
}

QString decode(const QByteArray &bytes)
{
    QString out;
    bool jis = false;
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (bytes[i] == '\x1b' && i + 2 < bytes.size()) {
            const QByteArray seq = bytes.mid(i, 3);
            if (seq == kToJis || seq == "\x1b$@" || seq == kToAscii || seq == "\x1b(J") {
                jis = seq[1] == '$';
                i += 3;
                continue;
            }
        }
        const auto c1 = static_cast<unsigned char>(bytes[i]);
        if (!jis || c1 < 0x21 || c1 > 0x7e) {
            out += c1 < 0x80 ? QChar(c1) : QChar(QChar::ReplacementCharacter);
            ++i;
            continue;
        }
        const auto c2 = static_cast<unsigned char>(i + 1 < bytes.size() ? bytes[i + 1] : 0);
        i += 2;
        if (c2 < 0x21 || c2 > 0x7e) {
            out += QChar(QChar::ReplacementCharacter);
            continue;
        }
        // The code page 932 code of row c1, cell c2.
        const int lead = ((c1 + 1) >> 1) + (c1 <= 0x5e ? 0x70 : 0xb0);
        const int trail = (c1 & 1) ? c2 + (c2 <= 0x5f ? 0x1f : 0x20) : c2 + 0x7e;
        const std::optional<QString> u = decodeCp932(twoBytes(lead, trail));
        out += u ? *u : QString(QChar(QChar::ReplacementCharacter));
    }
    return out;
}

QByteArray encodedWords(const QString &text)
{
    QByteArray out;
    Writer w;
    auto flush = [&] {
        w.end();
        if (w.out.isEmpty())
            return;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?ISO-2022-JP?B?" + w.out.toBase64() + "?=";
        w.out.clear();
    };
    forEachCodePoint(widenKatakana(text), [&](char32_t c) {
        if (!w.out.isEmpty() && w.out.size() + w.cost(c) > kWordBytes)
            flush();
        w.put(c);
    });
    flush();
    Q_ASSERT(out.indexOf("\r\n") < 0 || out.indexOf("\r\n") <= kLineChars);
    return out;
}

} // namespace iso2022jp
