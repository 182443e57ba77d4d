#include "logreader.h"

#include "fieldreader.h"
#include "textcodec.h"

#include <QFile>

namespace {

constexpr int kFields = 5;

// The longest prefix of whole lines that decodes as CP932. Line ends are safe
// cut points: CR and LF never occur as the second byte of a CP932 character.
QString decodeValidLines(const QByteArray &bytes, QString *error)
{
    QString text;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        QString lineError;
        const auto line = decodeCp932(bytes.mid(start, end - start), &lineError);
        if (!line) {
            *error = QStringLiteral("not CP932 text after byte %1: %2").arg(start).arg(lineError);
            return text;
        }
        text += *line;
        start = end;
    }
    return text;
}

} // namespace

LogContents parseLogBytes(const QByteArray &bytes)
{
    LogContents log;
    log.exists = true;
    QString decodeError;
    const auto whole = decodeCp932(bytes, &decodeError);
    const QString text = whole ? *whole : decodeValidLines(bytes, &decodeError);

    FieldReader reader(text);
    QStringList fields;
    QString error;
    if (!reader.readRecord(kFields, fields, &error)) {
        log.error = whole ? error : decodeError;
        return log;
    }
    log.header = fields;
    log.hasHeader = true;
    while (!reader.atEnd()) {
        if (!reader.readRecord(kFields, fields, &error)) {
            log.error = whole ? error : decodeError;
            return log;
        }
        log.rows.append(fields);
    }
    if (!whole) {
        log.error = decodeError;
        return log;
    }
    log.complete = true;
    return log;
}

LogContents readLogFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        LogContents log;
        log.exists = true;
        log.error = file.errorString();
        return log;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    return parseLogBytes(bytes);
}

QString logStatusText(const QStringList &header)
{
    if (header.size() < kFields)
        return {};
    return QStringLiteral("Server / ") + header.at(2) + QStringLiteral("    From Name / ") + header.at(0)
           + QStringLiteral("    Mail Address / ") + header.at(1);
}
