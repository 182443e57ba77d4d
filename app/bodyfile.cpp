#include "bodyfile.h"

#include "textcodec.h"
#include "textfile.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Lines of a body text file. CR LF ends a line; a lone CR or LF is taken as
// a line end too, so files written elsewhere still open. A line end at the
// very end of the file does not start another line.
QStringList fileLines(const QString &text)
{
    QStringList lines;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            lines.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        lines.append(current);
    return lines;
}

} // namespace

QString BodyFile::text() const
{
    return subject + kCrLf + body + kCrLf;
}

QString BodyFile::cp932Unwritable() const
{
    return ::cp932Unwritable(text());
}

bool BodyFile::write(const QString &path, QString *error) const
{
    const QString content = text();
    // Code page 932 where every character fits; otherwise UTF-8 rather than "?".
    return ::cp932Unwritable(content).isEmpty() ? writeCp932File(path, content, error)
                                                : writeUtf8File(path, content, error);
}

BodyFileRead BodyFile::read(const QString &path)
{
    BodyFileRead r;
    bool tooLarge = false;
    const std::optional<QByteArray> bytes = readFileBytesUpTo(path, kMaxBytes, &r.error, &tooLarge);
    if (!bytes) {
        if (tooLarge)
            r.status = BodyFileRead::TooLarge;
        return r;
    }
    const std::optional<QString> text = decodeText(*bytes, &r.encoding);
    if (!text) {
        r.status = BodyFileRead::UnknownEncoding;
        return r;
    }
    const QStringList lines = fileLines(*text);
    if (lines.isEmpty()) {
        r.status = BodyFileRead::Empty;
        return r;
    }
    r.status = BodyFileRead::Read;
    r.file.subject = lines.first();
    for (qsizetype i = 1; i < lines.size(); ++i)
        r.file.body += lines.at(i) + kCrLf;
    return r;
}
