#include "sendjournal.h"

#include "filewrite.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kVersion = 2;

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

// The check that ends every event line: a torn or garbled line fails it.
QByteArray checkOf(QByteArrayView text)
{
    return QByteArray::number(qChecksum(text), 16).rightJustified(4, '0');
}

bool endsWithLineEnd(QFile &file)
{
    if (file.size() == 0)
        return true;
    char last = 0;
    return ::pread(file.handle(), &last, 1, file.size() - 1) == 1 && last == '\n';
}

} // namespace

QList<qsizetype> JournalState::remaining(bool withUncertain) const
{
    const QSet<qsizetype> unsure(uncertain.cbegin(), uncertain.cend());
    QList<bool> done(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const bool open = state[i] == Entry::Open || state[i] == Entry::InFlight;
        done[i] = !(open && (withUncertain || !unsure.contains(i)));
    }
    return entriesLeft(done);
}

QList<qsizetype> entriesLeft(const QList<bool> &done)
{
    QList<qsizetype> left;
    for (qsizetype i = 0; i < done.size(); ++i)
        if (!done[i])
            left << i;
    return left;
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

QByteArray SendJournal::currentBootId()
{
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    const QByteArray id = f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
    return id.isEmpty() ? QByteArray("unknown") : id;
}

bool SendJournal::begin(const QString &path, const JournalContent &c, const SendList &list, QString *error)
{
    close();
    m_file.setFileName(path);
    m_leaseEnd = -1;
    if (!openPrivate(m_file, QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered, error))
        return false;
    QByteArray lines;
    for (qsizetype i = 0; i < list.count(); ++i)
        lines += entryLine(list.entry(i));
    const QJsonObject head{{QStringLiteral("journal"), kVersion},
                           {QStringLiteral("account"), c.account},
                           {QStringLiteral("subject"), c.subject},
                           {QStringLiteral("body"), c.bodyText},
                           {QStringLiteral("attachments"), c.attachmentText},
                           {QStringLiteral("nameOption"), c.nameBlock ? 1 : 0},
                           {QStringLiteral("honorificOption"), c.honorific ? 0 : 1},
                           {QStringLiteral("count"), qint64(list.count())},
                           {QStringLiteral("digest"), QString::fromLatin1(digestOfLines(lines))}};
    const QByteArray text = QJsonDocument(head).toJson(QJsonDocument::Compact) + '\n' + lines;
    if (!writeFully(m_file, text, error)) {
        m_file.close();
        return false;
    }
    return true;
}

bool SendJournal::resume(const QString &path, QString *error)
{
    close();
    m_file.setFileName(path);
    m_leaseEnd = -1;
    if (!openPrivate(m_file, QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered, error))
        return false;
    // A line cut off by the end of the last run must not run into the next.
    if (!endsWithLineEnd(m_file) && !writeFully(m_file, "\n", error))
        return false;
    if (!writeLine("S")) {
        *error = m_error;
        return false;
    }
    return true;
}

bool SendJournal::writeLine(const QByteArray &text)
{
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("the journal is not open");
        return false;
    }
    return writeFully(m_file, text + ' ' + checkOf(text) + '\n', &m_error);
}

bool SendJournal::mark(char kind, qsizetype entry)
{
    char line[32];
    const int n = std::snprintf(line, sizeof line, "%c %lld", kind, static_cast<long long>(entry));
    return writeLine(QByteArray(line, n));
}

bool SendJournal::markData(qsizetype entry)
{
    // The promise of the W line is on the disk before the data goes, so a
    // power cut can't hide an entry that was handed over.
    if (entry > m_leaseEnd) {
        m_leaseEnd = entry + kLease - 1;
        if (!writeLine("W " + QByteArray::number(m_leaseEnd) + ' ' + currentBootId()) || !sync())
            return false;
    }
    return mark('D', entry);
}

bool SendJournal::markAccepted(qsizetype entry)
{
    return mark('A', entry);
}

bool SendJournal::markRefused(qsizetype entry)
{
    return mark('R', entry);
}

bool SendJournal::markNotSent(qsizetype entry)
{
    return mark('T', entry);
}

bool SendJournal::sync()
{
    if (!m_file.isOpen())
        return true;
    if (::fdatasync(m_file.handle()) != 0) {
        m_error = fileErrorText(m_file.fileName(), errno);
        return false;
    }
    return true;
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

bool SendJournal::markKept(const QString &path, const QList<qsizetype> &entries, QString *error)
{
    SendJournal j;
    j.m_file.setFileName(path);
    if (!openPrivate(j.m_file, QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered, error))
        return false;
    if (!endsWithLineEnd(j.m_file) && !writeFully(j.m_file, "\n", error))
        return false;
    for (qsizetype e : entries)
        if (!j.mark('K', e)) {
            *error = j.m_error;
            return false;
        }
    if (!j.sync()) {
        *error = j.m_error;
        return false;
    }
    return true;
}

namespace {

// The event lines of one journal, applied in order.
class EventReader {
public:
    EventReader(JournalState &s, const QByteArray &bootId) : m_s(s), m_bootId(bootId) {}

    void apply(QByteArrayView line, qsizetype lineNumber);
    void finish();

private:
    void damaged(qsizetype lineNumber, const char *why)
    {
        m_s.damaged << QStringLiteral("line %1 %2").arg(lineNumber).arg(QLatin1String(why));
    }

    JournalState &m_s;
    const QByteArray m_bootId;
    qsizetype m_highestData = -1; // the highest entry handed over in this pass
    qsizetype m_lease = -1;       // the last W line's bound, in this pass
    qsizetype m_dataBeforeLease = -1;
    QByteArray m_leaseBoot;
};

void EventReader::apply(QByteArrayView line, qsizetype lineNumber)
{
    const qsizetype blank = line.lastIndexOf(' ');
    if (blank < 0 || checkOf(line.first(blank)) != line.sliced(blank + 1)) {
        damaged(lineNumber, "fails its check");
        return;
    }
    const QList<QByteArray> words = line.first(blank).toByteArray().split(' ');
    const QByteArray &kind = words[0];
    if (kind == "S") {
        // A resumed run goes through the entries left, from the start.
        m_highestData = m_lease = m_dataBeforeLease = -1;
        m_leaseBoot.clear();
        return;
    }
    bool ok = false;
    const qsizetype n = words.value(1).toLongLong(&ok);
    if (!ok || n < 0 || (kind != "W" && n >= m_s.entries.size())) {
        damaged(lineNumber, "names no entry");
        return;
    }
    if (kind == "W") {
        m_lease = n;
        m_leaseBoot = words.value(2);
        m_dataBeforeLease = m_highestData;
        return;
    }
    using E = JournalState::Entry;
    E &e = m_s.state[n];
    if (kind == "D") {
        e = E::InFlight;
        m_highestData = std::max(m_highestData, n);
    } else if (kind == "A") {
        e = E::Accepted;
    } else if (kind == "R") {
        e = E::Refused;
    } else if (kind == "T") {
        if (e == E::InFlight)
            e = E::Open;
    } else if (kind == "K") {
        if (e == E::InFlight || e == E::Open)
            e = E::Kept;
    } else {
        damaged(lineNumber, "of an unknown kind");
    }
}

void EventReader::finish()
{
    using E = JournalState::Entry;
    QList<bool> unsure(m_s.entries.size(), false);
    for (qsizetype i = 0; i < m_s.entries.size(); ++i)
        unsure[i] = m_s.state[i] == E::InFlight;
    // The machine went down since the last W line reached the disk: lines
    // after it may be lost, so every entry it covered that was not yet
    // handed over when it was written may have gone without a trace.
    if (m_lease >= 0 && m_leaseBoot != m_bootId)
        for (qsizetype i = m_dataBeforeLease + 1; i <= std::min(m_lease, m_s.entries.size() - 1); ++i)
            if (m_s.state[i] == E::Open)
                unsure[i] = true;
    for (qsizetype i = 0; i < unsure.size(); ++i)
        if (unsure[i])
            m_s.uncertain << i;
}

} // namespace

std::optional<JournalState> readJournal(const QString &path, QString *error, const QByteArray &bootId)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": ") + f.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = f.readAll();
    auto broken = [&](const QString &why) {
        *error = path + QStringLiteral(": ") + why;
        return std::nullopt;
    };
    const QList<QByteArray> lines = bytes.split('\n');
    const QJsonObject head = QJsonDocument::fromJson(lines.value(0)).object();
    const qint64 count = head.value(QStringLiteral("count")).toInteger(-1);
    if (head.value(QStringLiteral("journal")).toInt() != kVersion || count < 0 || lines.size() < count + 2)
        return broken(QStringLiteral("not a journal of this program, or cut short"));
    JournalState s;
    s.content.account = head.value(QStringLiteral("account")).toInt();
    s.content.subject = head.value(QStringLiteral("subject")).toString();
    s.content.bodyText = head.value(QStringLiteral("body")).toString();
    s.content.attachmentText = head.value(QStringLiteral("attachments")).toString();
    s.content.nameBlock = head.value(QStringLiteral("nameOption")).toInt() == 1;
    s.content.honorific = head.value(QStringLiteral("honorificOption")).toInt() != 1;
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
    s.state = QList<JournalState::Entry>(count, JournalState::Entry::Open);
    EventReader events(s, bootId.isEmpty() ? SendJournal::currentBootId() : bootId);
    // split() leaves what follows the last line end as the last piece: a
    // line the end of the program cut off, or "".
    for (qsizetype i = count + 1; i < lines.size(); ++i) {
        if (i == lines.size() - 1) {
            if (!lines[i].isEmpty())
                s.damaged << QStringLiteral("line %1 is cut off").arg(i + 1);
            break;
        }
        if (!lines[i].isEmpty())
            events.apply(lines[i], i + 1);
    }
    events.finish();
    return s;
}

QString setJournalAside(const QString &path, QString *error)
{
    const QString aside = path + QStringLiteral(".unreadable-")
                          + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!QFile::rename(path, aside)) {
        if (error)
            *error = QStringLiteral("%1 could not be moved to %2").arg(path, aside);
        return {};
    }
    return aside;
}
