#include "sentmaillog.h"

#include "programfolder.h"
#include "textcodec.h"

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
    QString text = errorText;
    for (QChar &c : text)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    if (text.size() > kMaxErrorChars) {
        const bool splitsPair = text.at(kMaxErrorChars - 1).isHighSurrogate();
        text.truncate(kMaxErrorChars - (splitsPair ? 1 : 0));
    }
    return QStringLiteral("送信エラー") + mendErrorText(text);
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
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    return writeRecord(field(fromName), field(from), field(server), field(subject), dateTimeText(when));
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
    if (m_file.write(bytes) != bytes.size()) {
        m_error = m_file.errorString();
        return false;
    }
    return true;
}
