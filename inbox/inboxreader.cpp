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
    // The lines of a multi-line answer after its +OK, unstuffed, each of any
    // length; lines beyond maxBytes in all are read and dropped (*cut).
    // False when the connection failed before the final dot.
    bool readLines(QByteArrayList *lines, qint64 maxBytes, bool *cut = nullptr)
    {
        qint64 total = 0;
        for (;;) {
            bool lineCut = false;
            ServerReply r = m_c.readDataLine(std::max<qint64>(maxBytes - total, 2), &lineCut);
            if (!r.complete())
                return false;
            if (r.text == ".")
                return true;
            QByteArray line = r.text.startsWith("..") ? r.text.mid(1) : r.text;
            if (total + line.size() + 2 <= maxBytes) {
                lines->append(line);
                total += line.size() + 2;
            } else {
                lineCut = true;
                total = maxBytes;
            }
            if (lineCut && cut)
                *cut = true;
        }
    }

private:
    CurlConnection &m_c;
};

// The reader's connection, known to the control while it is open.
struct Watched {
    InboxControl *control;
    explicit Watched(InboxControl *c, CurlConnection *connection) : control(c)
    {
        if (control)
            control->setConnection(connection);
    }
    ~Watched()
    {
        if (control)
            control->setConnection(nullptr);
    }
};

// The listings of UIDL and LIST: some hundred thousand messages.
constexpr qint64 kListingLimit = 16 * 1024 * 1024;

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

void InboxControl::requestStop()
{
    m_stopped = true;
}

void InboxControl::stopNow()
{
    m_stopped = true;
    std::lock_guard<std::mutex> guard(m_lock);
    m_now = true;
    if (m_connection)
        m_connection->abort();
}

void InboxControl::setConnection(CurlConnection *connection)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_connection = connection;
    if (m_connection && m_now)
        m_connection->abort();
}

QString inboxFailureText(const InboxResult &r)
{
    QString text;
    switch (r.failure) {
    case InboxFailure::None: return {};
    case InboxFailure::SignIn: return r.error;
    case InboxFailure::Connect: text = QStringLiteral("POP3 サーバーに接続できませんでした。"); break;
    case InboxFailure::Login:
        text = QStringLiteral("POP3 サーバーにログインできませんでした。ユーザー名とパスワードを確認してください。");
        break;
    case InboxFailure::NoDatabase: text = QStringLiteral("宛先データベースを開けませんでした。"); break;
    case InboxFailure::Listing: text = QStringLiteral("サーバーがメールの一覧を返しませんでした。"); break;
    case InboxFailure::Dropped:
        text = QStringLiteral("すべてのメールを読む前に、サーバーとの接続が切れました。読み終えたメールの処理は"
                              "保存してあり、次回は残りのメールだけを読みます。");
        break;
    case InboxFailure::Database:
        text = QStringLiteral("宛先データベースに書き込めないため、途中で止めました。ほかのプログラムがデータベース"
                              "を使っていないか確認してください。このメールは次回もう一度読みます。");
        break;
    case InboxFailure::SeenFile:
        text = QStringLiteral("読んだメールの記録を書き込めないため、途中で止めました。");
        break;
    case InboxFailure::Stopped:
        text = QStringLiteral("中止しました。読み終えたメールの処理は保存してあり、次回は残りのメールだけを読みます。");
        break;
    }
    return r.error.isEmpty() ? text : text + QLatin1Char('\n') + r.error;
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
    auto failed = [&](InboxFailure why, const QString &detail) {
        result.failure = why;
        result.error = detail;
        return result;
    };
    const QString where = QStringLiteral("%1:%2").arg(settings.host).arg(settings.pop3Port);
    if (hasLineBreak(settings.user) || hasLineBreak(settings.password))
        return failed(InboxFailure::Login,
                      QStringLiteral("POP3 login failed (a line break in the user name or password)"));
    CurlConnection pop;
    const Watched watched(options.control, &pop);
    const QString error = pop.open(connectionOptions(settings, MailProtocol::Pop3));
    if (options.control && options.control->stopped())
        return failed(InboxFailure::Stopped, {});
    if (!error.isEmpty())
        return failed(InboxFailure::Connect, QStringLiteral("Cant connect Server (%1: %2)").arg(where, error));
    if (!mayLogIn(pop, settings))
        return failed(InboxFailure::Connect,
                      QStringLiteral("Cant connect Server (%1: %2)").arg(where, clearTextRefusal()));
    bool connectionFault = false;
    const QString refused = pop3LogIn(pop, settings, &connectionFault);
    if (!refused.isEmpty())
        return connectionFault
                   ? failed(InboxFailure::Connect, QStringLiteral("Cant connect Server (%1: %2)").arg(where, refused))
                   : failed(InboxFailure::Login, refused);
    Session s(pop);
    const QString dropped = QStringLiteral("the connection to %1 ended before the mailbox was read").arg(where);
    auto droppedOrStopped = [&] {
        return options.control && options.control->stopped() ? failed(InboxFailure::Stopped, {})
                                                             : failed(InboxFailure::Dropped, dropped);
    };

    // Message numbers with their UIDL and size.
    struct Item {
        QByteArray number, uidl;
        qint64 size = 0;
    };
    QList<Item> items;
    ServerReply r = s.command("UIDL");
    QByteArrayList lines;
    if (r.code != 1) {
        if (!r.complete())
            return droppedOrStopped();
        return failed(InboxFailure::Listing,
                      QStringLiteral("The server can't list its messages (UIDL): ") + fromServer(r.text));
    }
    if (!s.readLines(&lines, kListingLimit))
        return droppedOrStopped();
    QHash<QByteArray, qint64> sizes;
    for (const QByteArray &l : std::as_const(lines)) {
        const QList<QByteArray> p = l.simplified().split(' ');
        if (p.size() >= 2)
            items.append({p[0], p[1]});
    }
    lines.clear();
    r = s.command("LIST");
    if (r.code == 1 && s.readLines(&lines, kListingLimit)) {
        for (const QByteArray &l : std::as_const(lines)) {
            const QList<QByteArray> p = l.simplified().split(' ');
            if (p.size() >= 2)
                sizes.insert(p[0], p[1].toLongLong());
        }
    } else if (!r.complete() || r.code == 1) {
        return droppedOrStopped();
    }
    for (Item &i : items)
        i.size = sizes.value(i.number);

    const QSet<QByteArray> seen = readSeen(options.seenFile, options.seenKey);
    QList<Item> fresh;
    for (const Item &item : std::as_const(items))
        if (!seen.contains(item.uidl))
            fresh << item;
    if (options.onProgress)
        options.onProgress(0, int(fresh.size()));
    auto inDatabase = [&db](const QString &a) { return hasAddressRow(db, a); };
    QByteArrayList toDelete;
    for (qsizetype done = 0; done < fresh.size(); ++done) {
        const Item &item = fresh[done];
        if (options.control && options.control->stopped()) {
            failed(InboxFailure::Stopped, {});
            break;
        }
        bool large = item.size > options.sizeLimit;
        r = s.command((large ? "TOP " + item.number + " 0" : "RETR " + item.number));
        // A server without TOP sends it whole; only its first part is kept.
        if (large && r.complete() && r.code != 1) {
            large = false;
            r = s.command("RETR " + item.number);
        }
        QByteArrayList message;
        bool cut = false;
        if (!r.complete() || (r.code == 1 && !s.readLines(&message, options.sizeLimit, &cut))) {
            droppedOrStopped();
            break;
        }
        if (r.code != 1) // gone meanwhile (another client deleted it)
            continue;
        ++result.read;
        const QByteArray raw = message.join("\r\n") + "\r\n";
        message.clear();
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
                // Not remembered: the next run reads it again.
                e.reason += QStringLiteral("（保存できませんでした）");
                report(e);
                failed(InboxFailure::Database, c.address + QStringLiteral(": ") + sr.error);
                break;
            }
            e.suppressed = true;
            if (!sr.added)
                e.reason += QStringLiteral("（配信停止済み）");
            (bounce ? result.bounced : result.unsubscribed)++;
            // The address file holds the suppression either way; the CSV
            // is its copy for people, and its loss is said.
            if (sr.added && !options.csvFile.isEmpty() && !appendCsv(options.csvFile, e))
                result.csvError = QStringLiteral("%1 に書き込めませんでした。").arg(options.csvFile);
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
        if (result.failure == InboxFailure::Database)
            break;
        if ((large || cut) && c.kind == InboxClassification::Other)
            e.reason = large
                           ? QStringLiteral("大きすぎるメール（%1バイト、ヘッダーだけ読みました）").arg(item.size)
                           : QStringLiteral("大きすぎるメール（先頭の%1バイトだけ読みました）").arg(options.sizeLimit);
        if (!e.reason.isEmpty())
            report(e);
        if (!rememberSeen(options.seenFile, options.seenKey, item.uidl)) {
            failed(InboxFailure::SeenFile, options.seenFile + QStringLiteral(": can't be written"));
            break;
        }
        if (classified && options.deleteClassified)
            toDelete << item.number;
        if (options.onProgress)
            options.onProgress(int(done + 1), int(fresh.size()));
    }
    // What was acted on goes, even when the reading ended early, as long as
    // the connection is there to say so.
    for (const QByteArray &n : std::as_const(toDelete)) {
        if (s.command("DELE " + n).code == 1)
            ++result.deleted;
    }
    r = s.command("QUIT");
    // Deletions take effect only with the server's answer to QUIT.
    if (!r.complete())
        result.deleted = 0;
    pop.close();
    return result;
}
