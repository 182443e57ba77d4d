#include "sentmaillog.h"

#include "filewrite.h"
#include "programfolder.h"
#include "textcodec.h"

#include <unistd.h>

namespace {

QString headerStart(const QString &fromName, const QString &from, const QString &server, const QString &subject)
{
    return SentMailLog::field(fromName) + QLatin1Char(',') + SentMailLog::field(from) + QLatin1Char(',')
           + SentMailLog::field(server) + QLatin1Char(',') + SentMailLog::field(subject) + QLatin1Char(',');
}

// One line of text on one line, and not longer than a record should be.
QString oneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    if (line.size() > SentMailLog::kMaxErrorChars) {
        const bool splitsPair = line.at(SentMailLog::kMaxErrorChars - 1).isHighSurrogate();
        line.truncate(SentMailLog::kMaxErrorChars - (splitsPair ? 1 : 0));
    }
    return line;
}

} // namespace

QString SentMailLog::pathIn(const QString &programFolder)
{
    return joinProgramFolder(programFolder, logFileName());
}

QString SentMailLog::dateTimeText(const QDateTime &when)
{
    // A run writes many records within one second.
    static thread_local QDateTime last;
    static thread_local QString text;
    if (when != last || text.isEmpty()) {
        last = when;
        text = when.toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
    }
    return text;
}

QString SentMailLog::mendErrorText(const QString &errorText)
{
    QString t = errorText;
    for (int i = 0; i < 3; ++i) {
        const qsizetype comma = t.indexOf(QLatin1Char(','));
        if (comma < 0)
            break;
        t[comma] = QLatin1Char(' ');
    }
    return t;
}

QString SentMailLog::errorStatus(const QString &errorText)
{
    // One record is one line, and a server's whole essay does not belong in it.
    return QStringLiteral("送信エラー") + mendErrorText(oneLine(errorText));
}

QString SentMailLog::uncertainStatus(const QString &why)
{
    return QStringLiteral("不明") + mendErrorText(oneLine(why));
}

QString SentMailLog::field(const QString &text)
{
    // A comma or a line end inside, or a quote in front, would shift the
    // record's fields for the reader: such a field goes in quotes. The
    // reader ends a quoted field at the next quote, so quotes inside become
    // full-width ones.
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'))
        && !text.startsWith(QLatin1Char('"')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QChar(0xFF02)) + QLatin1Char('"');
}

bool SentMailLog::open(const QString &path, const QString &fromName, const QString &from, const QString &server,
                       const QString &subject, const QDateTime &when)
{
    close();
    m_file.setFileName(path);
    // Unbuffered: every record is one write to the operating system.
    if (!openPrivate(m_file, QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered, &m_error))
        return false;
    return writeRecord(field(fromName), field(from), field(server), field(subject), dateTimeText(when));
}

bool SentMailLog::openToContinue(const QString &path, const QString &fromName, const QString &from,
                                 const QString &server, const QString &subject, const QDateTime &when)
{
    close();
    QFile existing(path);
    if (!existing.open(QIODevice::ReadOnly))
        return open(path, fromName, from, server, subject, when);
    const QByteArray start = encodeCp932(headerStart(fromName, from, server, subject));
    if (!existing.read(start.size()).startsWith(start) || !existing.seek(0))
        return open(path, fromName, from, server, subject, when);
    // Up to the end of the last whole record.
    qint64 keep = 0;
    for (qint64 pos = 0;;) {
        const QByteArray block = existing.read(1 << 16);
        if (block.isEmpty())
            break;
        const qsizetype nl = block.lastIndexOf('\n');
        if (nl >= 0)
            keep = pos + nl + 1;
        pos += block.size();
    }
    existing.close();
    m_file.setFileName(path);
    if (!openPrivate(m_file, QIODevice::ReadWrite | QIODevice::Unbuffered, &m_error))
        return false;
    if ((keep < m_file.size() && !m_file.resize(keep)) || !m_file.seek(keep)) {
        m_error = path + QStringLiteral(": ") + m_file.errorString();
        m_file.close();
        return false;
    }
    return true;
}

bool SentMailLog::writeSuccess(const QString &name1, const QString &name2, const QString &address,
                               const QDateTime &when)
{
    return writeRecord(field(name1), field(name2), field(address), QStringLiteral("送信済"), dateTimeText(when));
}

bool SentMailLog::writeError(const QString &name1, const QString &name2, const QString &address,
                             const QString &errorText, const QDateTime &when)
{
    return writeRecord(field(name1), field(name2), field(address), errorStatus(errorText), dateTimeText(when));
}

bool SentMailLog::writeUncertain(const QString &name1, const QString &name2, const QString &address, const QString &why,
                                 const QDateTime &when)
{
    return writeRecord(field(name1), field(name2), field(address), uncertainStatus(why), dateTimeText(when));
}

void SentMailLog::close()
{
    if (m_file.isOpen())
        m_file.close();
}

bool SentMailLog::writeRecord(const QString &f1, const QString &f2, const QString &f3, const QString &f4,
                              const QString &f5)
{
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("log not open");
        return false;
    }
    QString line;
    line.reserve(f1.size() + f2.size() + f3.size() + f4.size() + f5.size() + 6);
    for (const QString *field : {&f1, &f2, &f3, &f4}) {
        line += *field;
        line += QLatin1Char(',');
    }
    line += f5;
    line += QLatin1String("\r\n");
    const QByteArray bytes = encodeCp932(line);
    // A record is written whole or not at all: what a full disk let through
    // is taken back, so no record ends in the middle of a character.
    const int fd = m_file.handle();
    const off_t before = ::lseek(fd, 0, SEEK_CUR);
    if (!writeFully(m_file, bytes, &m_error)) {
        if (before >= 0 && ::ftruncate(fd, before) == 0)
            ::lseek(fd, before, SEEK_SET);
        return false;
    }
    return true;
}
