#include "inboxreader.h"

#include "addressdb.h"
#include "addressedit.h"
#include "curlconnection.h"
#include "curltransport_p.h"
#include "dbstatement.h"
#include "inboxclassify.h"
#include "suppression.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

using namespace transport;

namespace {

QSet<QByteArray> readSeen(const QString &path, const QString &key)
{
    QSet<QByteArray> seen;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return seen;
    const QByteArray prefix = key.toUtf8() + '\t';
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (line.startsWith(prefix))
            seen.insert(line.mid(prefix.size()));
    }
    return seen;
}

bool rememberSeen(const QString &path, const QString &key, const QByteArray &uidl)
{
    QFile f(path);
    if (!f.open(QIODevice::Append))
        return false;
    const QByteArray line = key.toUtf8() + '\t' + uidl + '\n';
    return f.write(line) == line.size() && f.flush();
}

QString csvField(const QString &v)
{
    QString q = v;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

bool appendCsv(const QString &path, const InboxEntry &e)
{
    QFile f(path);
    const bool fresh = !f.exists() || f.size() == 0;
    if (!f.open(QIODevice::Append))
        return false;
    QByteArray out;
    if (fresh)
        out += "\xEF\xBB\xBF" + QStringLiteral("メールアドレス,理由,登録日\r\n").toUtf8();
    out += (csvField(e.address) + QLatin1Char(',') + csvField(e.reason) + QLatin1Char(',') + csvField(e.date)
            + QStringLiteral("\r\n"))
               .toUtf8();
    return f.write(out) == out.size();
}

bool hasAddressRow(AddressDb &db, const QString &address)
{
    const QString key = normalisedRecipientAddress(address);
    if (key.isEmpty())
        return false;
    DbStatement q(db, "SELECT 1 FROM 宛先 WHERE メールアドレス = ? LIMIT 1");
    q.bind({key});
    return q.step() == DbStatement::Row;
}

class Session {
public:
    explicit Session(CurlConnection &c) : m_c(c) {}
    ServerReply command(const QByteArray &line)
    {
        if (!m_c.sendAll(line + "\r\n"))
            return {};
        return m_c.readReply();
    }
    // The lines of a multi-line answer after its +OK, unstuffed; false when
    // the connection failed before the final dot.
    bool readLines(QByteArrayList *lines, qint64 maxBytes = -1)
    {
        qint64 total = 0;
        for (;;) {
            ServerReply r = m_c.readReply();
            if (!r.complete())
                return false;
            if (r.text == ".")
                return true;
            QByteArray line = r.text.startsWith("..") ? r.text.mid(1) : r.text;
            total += line.size() + 2;
            if (maxBytes < 0 || total <= maxBytes)
                lines->append(line);
        }
    }

private:
    CurlConnection &m_c;
};

} // namespace

QString inboxCsvPathBeside(const QString &logPath)
{
    const QFileInfo log(logPath);
    return log.absoluteDir().filePath(QStringLiteral("配信停止.csv"));
}

QString inboxEntryText(const InboxEntry &e)
{
    QString line = e.address.isEmpty() ? QStringLiteral("-") : e.address;
    line += QLatin1Char('\t') + e.reason;
    if (!e.date.isEmpty())
        line += QLatin1Char('\t') + e.date;
    return line;
}

QString inboxCountsText(const InboxResult &r)
{
    return QStringLiteral("新しいメール %1件、エラー %2件、配信停止 %3件、遅延 %4件、判定できないエラーメール %5件、"
                          "読めないメール %6件、削除 %7件")
        .arg(r.read)
        .arg(r.bounced)
        .arg(r.unsubscribed)
        .arg(r.delayed)
        .arg(r.undetermined)
        .arg(r.broken)
        .arg(r.deleted);
}

InboxResult readInbox(TransportSettings settings, AddressDb &db, const InboxOptions &options,
                      const std::function<void(const InboxEntry &)> &onEntry)
{
    InboxResult result;
    const QString date = addressDateText(options.today);
    auto report = [&](InboxEntry e) {
        e.date = e.date.isEmpty() ? date : e.date;
        result.entries << e;
        if (onEntry)
            onEntry(e);
    };
    const QString where = QStringLiteral("%1:%2").arg(settings.host).arg(settings.pop3Port);
    if (hasLineBreak(settings.user) || hasLineBreak(settings.password)) {
        result.error = QStringLiteral("POP3 login failed (a line break in the user name or password)");
        return result;
    }
    CurlConnection pop;
    const QString error = pop.open(connectionOptions(settings, MailProtocol::Pop3));
    if (!error.isEmpty()) {
        result.error = QStringLiteral("Cant connect Server (%1: %2)").arg(where, error);
        return result;
    }
    if (!mayLogIn(pop, settings)) {
        result.error = QStringLiteral("Cant connect Server (%1: %2)").arg(where, clearTextRefusal());
        return result;
    }
    bool connectionFault = false;
    const QString refused = pop3LogIn(pop, settings, &connectionFault);
    if (!refused.isEmpty()) {
        result.error = connectionFault ? QStringLiteral("Cant connect Server (%1: %2)").arg(where, refused) : refused;
        return result;
    }
    Session s(pop);
    const QString dropped = QStringLiteral("the connection to %1 ended before the mailbox was read").arg(where);

    // Message numbers with their UIDL and size.
    struct Item {
        QByteArray number, uidl;
        qint64 size = 0;
    };
    QList<Item> items;
    ServerReply r = s.command("UIDL");
    QByteArrayList lines;
    if (r.code != 1) {
        result.error = r.complete() ? QStringLiteral("The server can't list its messages (UIDL): ") + fromServer(r.text)
                                    : dropped;
        return result;
    }
    if (!s.readLines(&lines)) {
        result.error = dropped;
        return result;
    }
    QHash<QByteArray, qint64> sizes;
    for (const QByteArray &l : std::as_const(lines)) {
        const QList<QByteArray> p = l.simplified().split(' ');
        if (p.size() >= 2)
            items.append({p[0], p[1]});
    }
    lines.clear();
    r = s.command("LIST");
    if (r.code == 1 && s.readLines(&lines)) {
        for (const QByteArray &l : std::as_const(lines)) {
            const QList<QByteArray> p = l.simplified().split(' ');
            if (p.size() >= 2)
                sizes.insert(p[0], p[1].toLongLong());
        }
    }
    for (Item &i : items)
        i.size = sizes.value(i.number);

    const QSet<QByteArray> seen = readSeen(options.seenFile, options.seenKey);
    auto inDatabase = [&db](const QString &a) { return hasAddressRow(db, a); };
    QByteArrayList toDelete;
    for (const Item &item : std::as_const(items)) {
        if (seen.contains(item.uidl))
            continue;
        const bool large = item.size > options.sizeLimit;
        r = s.command((large ? "TOP " + item.number + " 0" : "RETR " + item.number));
        QByteArrayList message;
        if (!r.complete() || (r.code == 1 && !s.readLines(&message))) {
            result.error = dropped;
            break;
        }
        if (r.code != 1)
            continue;
        ++result.read;
        const QByteArray raw = message.join("\r\n") + "\r\n";
        const InboxClassification c = classifyInboxMessage(raw, options.secret, inDatabase);
        InboxEntry e;
        e.uidl = QString::fromLatin1(item.uidl);
        e.address = c.address;
        bool classified = true;
        switch (c.kind) {
        case InboxClassification::Bounce:
        case InboxClassification::Unsubscribe: {
            const bool bounce = c.kind == InboxClassification::Bounce;
            e.reason = bounce ? SuppressionReason::bounced(c.status, c.diagnostic) : SuppressionReason::unsubscribed();
            const SuppressResult sr = suppressAddress(db, c.address, e.reason, options.today);
            if (!sr.ok) {
                // Not remembered: the next run tries it again.
                result.error = c.address + QStringLiteral(": ") + sr.error;
                report(e);
                s.command("QUIT");
                return result;
            }
            e.suppressed = true;
            if (!sr.added)
                e.reason += QStringLiteral("（配信停止済み）");
            (bounce ? result.bounced : result.unsubscribed)++;
            if (sr.added && !options.csvFile.isEmpty())
                appendCsv(options.csvFile, e);
            break;
        }
        case InboxClassification::Delayed:
            e.reason = QStringLiteral("遅延（配信停止しません）");
            ++result.delayed;
            break;
        case InboxClassification::Undetermined:
            // Left for a person to read.
            e.reason = QStringLiteral("判定できないエラーメール");
            ++result.undetermined;
            classified = false;
            break;
        case InboxClassification::Broken:
            e.reason = QStringLiteral("読めないメール（MIMEの誤り）");
            ++result.broken;
            classified = false;
            break;
        case InboxClassification::Other: classified = false; break;
        }
        if (large && c.kind == InboxClassification::Other) {
            e.reason = QStringLiteral("大きすぎるメール（%1バイト、ヘッダーだけ読みました）").arg(item.size);
        }
        if (!e.reason.isEmpty())
            report(e);
        if (!rememberSeen(options.seenFile, options.seenKey, item.uidl)) {
            result.error = options.seenFile + QStringLiteral(": can't be written");
            break;
        }
        if (classified && options.deleteClassified)
            toDelete << item.number;
    }
    for (const QByteArray &n : std::as_const(toDelete)) {
        if (s.command("DELE " + n).code == 1)
            ++result.deleted;
    }
    r = s.command("QUIT");
    if (!r.complete() && !toDelete.isEmpty())
        result.deleted = 0;
    pop.close();
    return result;
}
