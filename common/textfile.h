#pragma once
// Reading a text file whose encoding is not known in advance (a body or an
// address list written by any editor or spreadsheet program):
//  - a UTF-8 byte-order mark: UTF-8, the mark dropped;
//  - otherwise UTF-8 or code page 932 as EncodingGuess decides (ICU's
//    detector, then strict decoding; see encodingguess.h), plain ASCII as
//    code page 932 (it reads the same either way);
//  - bytes that are not of the encoding decided: an error naming the file.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <optional>

enum class TextEncoding { Utf8WithBom, Utf8, Cp932 };
// How the windows name an encoding: "UTF-8", "UTF-8（BOM付き）", "シフトJIS".
QString textEncodingName(TextEncoding encoding);

std::optional<QString> decodeText(const QByteArray &bytes, TextEncoding *found = nullptr);
// The error text names the file and says what went wrong. With maxBytes, a
// larger file is refused before its bytes are read.
std::optional<QString> readTextFile(const QString &path, QString *error = nullptr, TextEncoding *found = nullptr,
                                    qint64 maxBytes = -1);

// The whole content of a file of at most maxBytes. No more than maxBytes + 1
// bytes are read, so a larger file (or one that grows, or a device without
// end) costs no memory: nullopt then, with *tooLarge set. error gets the
// reason alone, without the path.
std::optional<QByteArray> readFileBytesUpTo(const QString &path, qint64 maxBytes, QString *error = nullptr,
                                            bool *tooLarge = nullptr);
// "10 MB", "64 KB": a limit as the messages name it.
QString sizeLimitText(qint64 bytes);

// The longest line an address list may hold, in bytes of the file.
constexpr qsizetype kMaxLineBytes = 64 * 1024;

// What reading a file may take: a file over fileBytes is not read, and a
// line (ended by CR, LF or CR LF) over lineBytes ends the reading before it
// is held. 0: no limit.
struct TextReadLimits {
    qint64 fileBytes = 0;
    qsizetype lineBytes = 0;
};

// A text file read a piece at a time, in the encoding decodeText would choose
// for the whole file: a first pass over the bytes settles the encoding, then
// each piece, cut after a line end, is decoded on its own. A large file is
// never held whole.
class TextFileStream {
public:
    using Limits = TextReadLimits;
    enum class Failure { None, Unreadable, Encoding, FileTooLarge, LineTooLong };

    bool open(const QString &path, QString *error = nullptr, Limits limits = {});
    // The next piece of text; false at the end of the file or on an error.
    bool next(QString *piece);
    // A read error, bytes that are not of the file's encoding, or a limit
    // passed; the error text names the file (and the line).
    bool failed() const { return m_failure != Failure::None; }
    Failure failure() const { return m_failure; }
    bool encodingUnknown() const { return m_failure == Failure::Encoding; }
    // The line over the limit, counted from 1.
    qint64 failedLine() const { return m_failedLine; }
    QString error() const { return m_error; }
    TextEncoding encoding() const { return m_encoding; }

    static constexpr qsizetype kBlock = 1 << 20;

private:
    bool fail(const QString &why, Failure failure);
    bool failLine(qint64 line);
    qsizetype overlongLineStart(QByteArrayView bytes);
    QFile m_file;
    QString m_path;
    Limits m_limits;
    QByteArray m_carry;
    TextEncoding m_encoding = TextEncoding::Cp932;
    Failure m_failure = Failure::None;
    qint64 m_lines = 0;        // lines handed out whole
    qint64 m_overlongLine = 0; // found, reported after the lines before it
    qint64 m_failedLine = 0;
    bool m_done = false;
    QString m_error;
};
