#pragma once
// Text files in code page 932 (Windows Shift-JIS with the NEC and IBM
// extensions) with CR LF line ends, and the Japanese-locale text helpers.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// Strict decoding: bytes that are not valid CP932 give nullopt and an error
// text naming the offset, never substituted characters.
std::optional<QString> decodeCp932(const QByteArray &bytes, QString *error = nullptr);
// Characters CP932 cannot hold become '?'. *lossless is false when any
// character does not read back unchanged: those that become '?' and those
// CP932 writes as a look-alike (U+00A5 as 0x5C, U+301C as U+FF5E, ...).
QByteArray encodeCp932(const QString &text, bool *lossless = nullptr);
// Each character of the text that CP932 cannot write back unchanged, once.
QString cp932Unwritable(const QString &text);

// Whether the bytes are valid UTF-8; *multibyte tells whether any byte is
// outside ASCII.
bool isValidUtf8(QByteArrayView bytes, bool *multibyte = nullptr);
bool isValidCp932(const QByteArray &bytes);

// The whole content of a file; nullopt and the reason when it can't be read.
std::optional<QByteArray> readFileBytes(const QString &path, QString *error = nullptr);

// Whole-file helpers. The text is written as given; use toCrLf first. A
// file is written through a temporary file (saveWholeFile): a failed write
// leaves the old file as it was, and error names the file and the reason.
std::optional<QString> readCp932File(const QString &path, QString *error = nullptr);
bool writeCp932File(const QString &path, const QString &text, QString *error = nullptr);
// UTF-8 with a byte-order mark, as Windows programs recognise it.
bool writeUtf8File(const QString &path, const QString &text, QString *error = nullptr);

// Line ends of any kind (LF, CR, CR LF) become CR LF; CR LF -> LF for widgets.
QString toCrLf(const QString &text);
QString toLf(const QString &text);

// Bytes the text takes in CP932: one for ASCII and half-width katakana, two
// for every other character.
int LenMbcs(const QString &text);
// The longest prefix of text whose LenMbcs is at most maxBytes, so a cut never
// splits a character.
QString leftMbcs(const QString &text, int maxBytes);

// The Japanese locale's half-width mapping: full-width ASCII forms
// (U+FF01-U+FF5E) to ASCII, the ideographic space to a space, full-width
// katakana (voiced and semi-voiced included) and their marks to half-width.
QString narrowWidth(const QString &text);
// The text without the ASCII blanks (U+0020) at either end; other white
// space is content.
QString trimBlanks(const QString &text);
// Narrowing, then lower case: how addresses are normalised.
QString narrowLower(const QString &text);
