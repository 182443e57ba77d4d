#pragma once
// Reading a text file whose encoding is not known in advance (a body or an
// address list written by any editor or spreadsheet program):
//  - a UTF-8 byte-order mark: UTF-8, the mark dropped;
//  - otherwise bytes that are valid UTF-8 and hold at least one multi-byte
//    sequence: UTF-8;
//  - otherwise strict code page 932 (plain ASCII reads the same either way);
//  - otherwise an error naming the file.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <optional>

enum class TextEncoding { Utf8WithBom, Utf8, Cp932 };

std::optional<QString> decodeText(const QByteArray &bytes, TextEncoding *found = nullptr);
// The error text names the file and says what went wrong.
std::optional<QString> readTextFile(const QString &path, QString *error = nullptr, TextEncoding *found = nullptr);

// A text file read a piece at a time, in the encoding decodeText would choose
// for the whole file: a first pass over the bytes settles the encoding, then
// each piece, cut after a line end, is decoded on its own. A large file is
// never held whole.
class TextFileStream {
public:
    bool open(const QString &path, QString *error = nullptr);
    // The next piece of text; false at the end of the file or on an error.
    bool next(QString *piece);
    // A read error or bytes that are not of the file's encoding; the error
    // text names the file.
    bool failed() const { return !m_error.isEmpty(); }
    bool encodingUnknown() const { return m_encodingUnknown; }
    QString error() const { return m_error; }
    TextEncoding encoding() const { return m_encoding; }

    static constexpr qsizetype kBlock = 1 << 20;

private:
    bool fail(const QString &why, bool encoding = false);
    QFile m_file;
    QString m_path;
    QByteArray m_carry;
    TextEncoding m_encoding = TextEncoding::Cp932;
    bool m_encodingUnknown = false;
    bool m_done = false;
    QString m_error;
};
