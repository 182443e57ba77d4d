#include "sendjournal.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kSyncMs = 1000;

// A JSON string: a list of a million entries is written at the start of a
// run, so this is done by hand rather than through a document per entry.
void appendJsonString(QByteArray &out, const QString &text)
{
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    bool plain = true;
    for (char c : utf8)
        if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20) {
            plain = false;
            break;
        }
    if (plain) {
        out += utf8;
        out += '"';
        return;
    }
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += "\\u00";
            out += "0123456789abcdef"[u >> 4];
            out += "0123456789abcdef"[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

QByteArray entryLine(const SendList::Entry &e)
{
    QByteArray line;
    line.reserve(e.name1.size() * 3 + e.name2.size() * 3 + e.address.size() + 12);
    line += '[';
    appendJsonString(line, e.name1);
    line += ',';
    appendJsonString(line, e.name2);
    line += ',';
    appendJsonString(line, e.address);
    line += "]\n";
    return line;
}

// Tells one list from another (not a guard against tampering); quick on a
// list of a million entries.
QByteArray digestOfLines(const QByteArray &lines)
{
    return QCryptographicHash::hash(lines, QCryptographicHash::Md5).toHex();
}

} // namespace

QList<qsizetype> JournalState::remaining(bool withUncertain) const
{
    QList<qsizetype> out;
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (!accepted[i] && (withUncertain || i != uncertain))
            out << i;
    return out;
}

QString SendJournal::pathBeside(const QString &logPath)
{
    return QFileInfo(logPath).dir().filePath(QStringLiteral("SendMail.journal"));
}

QByteArray SendJournal::digestOf(const QList<SendList::Entry> &entries)
{
    QByteArray lines;
    for (const SendList::Entry &e : entries)
        lines += entryLine(e);
    return digestOfLines(lines);
}

bool SendJournal::begin(const QString &path, const JournalContent &c, const SendList &list, QString *error)
{
    close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = m_file.errorString();
        return false;
    }
    QByteArray lines;
    for (qsizetype i = 0; i < list.count(); ++i)
        lines += entryLine(list.entry(i));
    const QJsonObject head{{QStringLiteral("journal"), 1},
                           {QStringLiteral("account"), c.account},
                           {QStringLiteral("subject"), c.subject},
                           {QStringLiteral("body"), c.bodyText},
                           {QStringLiteral("attachments"), c.attachmentText},
                           {QStringLiteral("nameOption"), c.nameOption},
                           {QStringLiteral("honorificOption"), c.honorificOption},
                           {QStringLiteral("count"), qint64(list.count())},
                           {QStringLiteral("digest"), QString::fromLatin1(digestOfLines(lines))}};
    const QByteArray text = QJsonDocument(head).toJson(QJsonDocument::Compact) + '\n' + lines;
    if (m_file.write(text) != text.size()) {
        *error = m_file.errorString();
        m_file.close();
        return false;
    }
    // To the disk with the first outcome a second from now.
    m_synced.start();
    return true;
}

bool SendJournal::resume(const QString &path, QString *error)
{
    close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *error = m_file.errorString();
        return false;
    }
    // A line cut off by the end of the last run must not run into the next.
    m_synced.start();
    if (!writeLine("\nS\n")) {
        *error = m_file.errorString();
        return false;
    }
    return true;
}

bool SendJournal::writeLine(const QByteArray &line)
{
    if (!m_file.isOpen() || m_file.write(line) != line.size())
        return false;
    if (m_synced.elapsed() >= kSyncMs) {
        m_synced.restart();
        return ::fdatasync(m_file.handle()) == 0;
    }
    return true;
}

bool SendJournal::markAccepted(qsizetype entry)
{
    char line[32];
    return writeLine(QByteArray::fromRawData(line, std::snprintf(line, sizeof line, "A %lld\n", qlonglong(entry))));
}

bool SendJournal::markRefused(qsizetype entry)
{
    char line[32];
    return writeLine(QByteArray::fromRawData(line, std::snprintf(line, sizeof line, "R %lld\n", qlonglong(entry))));
}

void SendJournal::sync()
{
    if (m_file.isOpen()) {
        ::fdatasync(m_file.handle());
        m_synced.restart();
    }
}

bool SendJournal::markStopped()
{
    return writeLine("P\n");
}

void SendJournal::finish()
{
    if (!m_file.isOpen())
        return;
    m_file.close();
    m_file.remove();
}

void SendJournal::close()
{
    if (!m_file.isOpen())
        return;
    ::fdatasync(m_file.handle());
    m_file.close();
}

std::optional<JournalState> readJournal(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = f.errorString();
        return std::nullopt;
    }
    const QList<QByteArray> lines = f.readAll().split('\n');
    auto broken = [&](const QString &why) {
        *error = path + QStringLiteral(": ") + why;
        return std::nullopt;
    };
    const QJsonObject head = QJsonDocument::fromJson(lines.value(0)).object();
    const qint64 count = head.value(QStringLiteral("count")).toInteger(-1);
    if (head.value(QStringLiteral("journal")).toInt() != 1 || count < 0 || lines.size() < count + 1)
        return broken(QStringLiteral("not a journal of this program, or cut short"));
    JournalState s;
    s.content.account = head.value(QStringLiteral("account")).toInt();
    s.content.subject = head.value(QStringLiteral("subject")).toString();
    s.content.bodyText = head.value(QStringLiteral("body")).toString();
    s.content.attachmentText = head.value(QStringLiteral("attachments")).toString();
    s.content.nameOption = head.value(QStringLiteral("nameOption")).toInt();
    s.content.honorificOption = head.value(QStringLiteral("honorificOption")).toInt();
    s.entries.reserve(count);
    for (qint64 i = 1; i <= count; ++i) {
        const QJsonArray a = QJsonDocument::fromJson(lines[i]).array();
        if (a.size() != 3)
            return broken(QStringLiteral("entry %1 is damaged").arg(i));
        s.entries.append({a[0].toString(), a[1].toString(), a[2].toString()});
    }
    s.digest = SendJournal::digestOf(s.entries);
    if (s.digest != head.value(QStringLiteral("digest")).toString().toLatin1())
        return broken(QStringLiteral("the list does not match its digest"));
    s.accepted = QList<bool>(count, false);
    qsizetype last = -1;  // the last entry with an outcome in this pass
    bool settled = false; // the run ended with nothing in flight
    for (qsizetype i = count + 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        if (line == "S" || line == "P") {
            // A resumed run goes through the entries not accepted from the start.
            last = line == "S" ? -1 : last;
            settled = line == "P";
            continue;
        }
        bool ok = false;
        const qsizetype n = line.mid(2).toLongLong(&ok);
        if (!ok || n < 0 || n >= count || (line[0] != 'A' && line[0] != 'R')) {
            // The last line may be cut off by the end of the program.
            if (i == lines.size() - 1)
                continue;
            return broken(QStringLiteral("line %1 is damaged").arg(i + 1));
        }
        s.accepted[n] = s.accepted[n] || line[0] == 'A';
        last = n;
        settled = false;
    }
    // Entries go in order: the first one after the last outcome that is not
    // accepted may have reached the server.
    qsizetype next = last + 1;
    while (next < count && s.accepted[next])
        ++next;
    s.uncertain = !settled && next < count ? next : -1;
    return s;
}

QString setJournalAside(const QString &path)
{
    const QString aside = path + QStringLiteral(".unreadable-")
                          + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QFile::rename(path, aside);
    return aside;
}
