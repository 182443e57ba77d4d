#pragma once
// ISO-2022-JP as Japanese mail programs write it: ASCII and JIS X 0208 with
// the NEC special characters of row 13, each character coded as code page
// 932 codes it, so what Windows mail programs show is what was typed.
// Half-width katakana have no place in it and are written full-width.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace iso2022jp {

// Half-width katakana (voiced and semi-voiced included) and their marks as
// full-width characters; everything else as it is.
QString widenKatakana(const QString &text);

// Whether the character (after widenKatakana) can be written. The functions
// below widen the text first.
bool canWrite(char32_t c);

// Each character the text can't carry, once, in the
// order found, and how many places hold one.
struct Unwritable {
    QStringList characters;
    qsizetype places = 0;
    bool isEmpty() const { return places == 0; }
    void add(const QString &text);
};

// The text in ISO-2022-JP, back in ASCII before every control character
// (line ends included) and at the end. A character it can't carry becomes
// '?'. A line that would start with a dot starts with a redundant ASCII
// designation instead, so no line of a message starts with one.
QByteArray encode(const QString &text);

// ISO-2022-JP read back as encode() writes it (JIS X 0208 codes read as
// code page 932 reads them); what it doesn't know becomes U+FFFD.
QString decode(const QByteArray &bytes);

// RFC 2047 encoded words ("=?ISO-2022-JP?B?...?="), each ending in ASCII
// and never splitting a character, folded with CR LF SPACE so that no line
// exceeds 76 characters after a header name of up to 12 characters.
QByteArray encodedWords(const QString &text);

} // namespace iso2022jp
