#include "sendrun.h"

#include "account.h"
#include "curltransport.h"
#include "outgoing.h"
#include "preflight.h"
#include "sendjournal.h"
#include "sendlist.h"
#include "sentmaillog.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QVariant>
#include <optional>

namespace {

// Says goodbye to the server whichever way the run ends.
struct SessionEnd {
    const std::unique_ptr<MailTransport> &transport;
    ~SessionEnd()
    {
        if (transport)
            transport->end();
    }
};

bool stopsTheRun(const QString &reply)
{
    return reply.contains(QStringLiteral("Cant connect Server")) || reply.contains(QStringLiteral("AUTH LOGIN"));
}
}

TransportSettings transportSettings(const AccountRecord &account, const TransportOptions &options)
{
    TransportSettings s;
    s.host = account.szServer.trimmed();
    const QString port = account.szPort.trimmed();
    bool ok = false;
    const int n = port.toInt(&ok);
    s.smtpPort = port.isEmpty() ? 25 : ok && n > 0 && n < 65536 ? n : 0;
    s.smtpImplicitTls = s.smtpPort == 465;
    s.pop3Port = options.pop3Port;
    s.pop3ImplicitTls = options.pop3Port == 995;
    s.smtpAuth = account.Check1V == 1;
    s.user = account.User;
    s.password = account.UserPass;
    s.allowCleartextPassword = account.Check3V == 1;
    s.timeoutSeconds = options.timeoutSeconds;
    s.extraCaFile = options.extraCaFile;
    return s;
}

SendCheck checkSendRun(const AccountRecord &account, qsizetype listCount, const QString &subject,
                       const QString &bodyText)
{
    if (account.szServer.left(4) == QStringLiteral("****") || account.szFrom.isEmpty() || account.szServer.isEmpty())
        return SendCheck::Account;
    if (listCount == 0)
        return SendCheck::EmptyList;
    if (subject.isEmpty())
        return SendCheck::EmptySubject;
    if (bodyText.isEmpty())
        return SendCheck::EmptyBody;
    return SendCheck::Ok;
}

QString sendCheckMessage(SendCheck check)
{
    switch (check) {
    case SendCheck::Account: return QStringLiteral("メールサーバー情報に誤りがあります。");
    case SendCheck::EmptyList: return QStringLiteral("送信する宛先が入力されていません。");
    case SendCheck::EmptySubject: return QStringLiteral("件名が入力されていません。");
    case SendCheck::EmptyBody: return QStringLiteral("本文が力されていません。");
    case SendCheck::Ok: break;
    }
    return {};
}

QString sendOutcomeMessage(const SendRunResult &result)
{
    using Outcome = SendRunResult::Outcome;
    switch (result.outcome) {
    case Outcome::Completed: return QString::number(result.accepted) + QStringLiteral("件の送信を完了しました。");
    case Outcome::PreflightFailed: return result.text;
    case Outcome::PopLoginFailed: return QStringLiteral("POP Before SMTP 認証エラー ") + result.text;
    case Outcome::Aborted: return QStringLiteral("メールサーバーに接続できません。") + result.text;
    case Outcome::Stopped:
        return QStringLiteral("%1件を送信して中止しました。残りは%2件です。")
            .arg(result.accepted)
            .arg(result.remaining);
    case Outcome::Failed: break;
    }
    return QStringLiteral("送信処理中にエラーが発生しました。サーバー情報を確認してください。");
}

OutgoingContent outgoingContent(const AccountRecord &account, SendRunSource &source)
{
    OutgoingContent content;
    content.fromName = account.szFromName;
    content.fromAddress = account.szFrom;
    content.subject = source.subject();
    content.bodyText = source.bodyText();
    content.attachmentText = source.attachmentText();
    content.nameOption = source.nameOption();
    content.honorific = honorificText(source.honorificOption());
    return content;
}

namespace {

std::unique_ptr<MailTransport> makeTransport(const AccountRecord &account, const SendRunEnvironment &env)
{
    const TransportSettings settings = transportSettings(account, env.transport);
    return env.makeTransport ? env.makeTransport(settings) : std::make_unique<CurlTransport>(settings);
}

} // namespace

QString sendTestMessage(const AccountRecord &account, OutgoingContent content, const SendList::Entry &entry,
                        const SendRunEnvironment &env)
{
    const QString problem = preflightMessage(content.fromAddress, content.attachmentText, SendList());
    if (!problem.isEmpty())
        return problem;
    content.subject = QStringLiteral("[テスト] ") + content.subject;
    const std::unique_ptr<MailTransport> transport = makeTransport(account, env);
    SessionEnd sessionEnd{transport};
    if (account.Check2V == 1) {
        const QVariant r = transport->checkPop();
        if (r.typeId() != QMetaType::QVariantList)
            return QStringLiteral("POP Before SMTP 認証エラー ") + r.toString();
    }
    OutgoingMessages messages(content);
    const OutgoingMessage m = messages.messageFor({entry.name1, entry.name2, account.szFrom}, env.now());
    return m.error.isEmpty() ? transport->send(m.envelope, m.data, nullptr) : m.error;
}

namespace {

// A reply worth trying again: a 4xx from the server, or a connection lost
// once the envelope was on its way.
bool isTemporary(const QString &reply)
{
    return (reply.size() >= 3 && reply[0] == QLatin1Char('4') && reply[1].isDigit() && reply[2].isDigit())
           || reply.startsWith(QStringLiteral("Connection to the server was lost"));
}

// One run over the list, step by step.
class Runner {
public:
    Runner(const AccountRecord &account, SendList &list, SendRunSource &source, const SendRunEnvironment &env)
        : m_account(account), m_list(list), m_source(source), m_env(env), m_content(outgoingContent(account, source))
    {
    }

    SendRunResult run();

private:
    using Outcome = SendRunResult::Outcome;
    bool open();
    // The message of entry i, tried again after a temporary refusal; the
    // following message is built while the server works.
    QString deliver(qsizetype i, const OutgoingMessage &m, OutgoingMessage *following);
    // The outcome of entry i into the log and the journal.
    bool record(qsizetype i, const QString &reply);
    SendRunResult &fail(const QString &text);
    SendRunResult &stop();
    qsizetype journalEntry(qsizetype i) const { return m_env.journalIndex.isEmpty() ? i : m_env.journalIndex[i]; }

    const AccountRecord &m_account;
    SendList &m_list;
    SendRunSource &m_source;
    const SendRunEnvironment &m_env;
    const OutgoingContent m_content;
    SendRunResult m_result;
    std::unique_ptr<MailTransport> m_transport;
    std::optional<OutgoingMessages> m_messages;
    SentMailLog m_log;
    SendJournal m_journal;
    QList<bool> m_accepted;
    bool m_stopAfterThis = false;
    // The next entry that will reach the server, so its envelope can travel
    // with this message's end. It only moves forward, so each entry is
    // looked at once here.
    qsizetype m_ahead = 0;
    OutgoingMessage m_aheadMessage;
};

bool Runner::open()
{
    m_result.text = preflightMessage(m_content.fromAddress, m_content.attachmentText, m_list);
    if (!m_result.text.isEmpty()) {
        m_result.outcome = Outcome::PreflightFailed;
        return false;
    }
    m_transport = makeTransport(m_account, m_env);
    if (m_account.Check2V == 1) {
        const QVariant r = m_transport->checkPop();
        if (r.typeId() != QMetaType::QVariantList) {
            m_result.outcome = Outcome::PopLoginFailed;
            m_result.text = r.toString();
            return false;
        }
    }
    m_messages.emplace(m_content);
    // A dry run keeps no log and no journal.
    if (!m_env.logPath.isEmpty()
        && !m_log.open(m_env.logPath, m_account.szFromName, m_account.szFrom, m_account.szServer, m_content.subject,
                       m_env.now())) {
        fail(m_log.errorString());
        return false;
    }
    if (!m_env.journalPath.isEmpty()) {
        const JournalContent c{m_account.Account,        m_content.subject,    m_content.bodyText,
                               m_content.attachmentText, m_content.nameOption, m_source.honorificOption()};
        QString error;
        const bool ok = m_env.journalIndex.isEmpty() ? m_journal.begin(m_env.journalPath, c, m_list, &error)
                                                     : m_journal.resume(m_env.journalPath, &error);
        if (!ok) {
            fail(m_env.journalPath + QStringLiteral(": ") + error);
            return false;
        }
    }
    m_accepted = QList<bool>(m_list.count(), false);
    return true;
}

SendRunResult &Runner::fail(const QString &text)
{
    m_result.outcome = Outcome::Failed;
    m_result.text = text;
    return m_result;
}

QString Runner::deliver(qsizetype i, const OutgoingMessage &m, OutgoingMessage *following)
{
    const qsizetype count = m_list.count();
    const bool paced = m_account.MaxPerMinute > 0;
    // A paced run holds no envelope at the server while it waits.
    if (!paced && m_ahead <= i) {
        for (m_ahead = i + 1; m_ahead < count; ++m_ahead) {
            m_aheadMessage = m_messages->envelopeFor(m_list.entry(m_ahead));
            if (m_aheadMessage.error.isEmpty())
                break;
        }
    }
    const bool announce = !paced && m_ahead < count;
    m_transport->start(m.envelope, m.data, announce ? &m_aheadMessage.envelope : nullptr);
    if (i + 1 < count)
        *following = m_messages->messageFor(m_list.entry(i + 1), m_env.now());
    QString reply = m_transport->finish();
    for (qsizetype attempt = 0; isTemporary(reply) && attempt < m_env.retryWaitsMs.size(); ++attempt) {
        m_journal.sync();
        if (!m_source.pause(m_env.retryWaitsMs[attempt], QStringLiteral("再送を待っています"))) {
            m_stopAfterThis = true;
            break;
        }
        reply = m_transport->send(m.envelope, m.data, nullptr);
    }
    return reply;
}

bool Runner::record(qsizetype i, const QString &reply)
{
    const SendList::Entry e = m_list.entry(i);
    const QDateTime when = m_env.now();
    const bool logged = m_env.logPath.isEmpty()
                        || (reply.isEmpty() ? m_log.writeSuccess(e.name1, e.name2, e.address, when)
                                            : m_log.writeError(e.name1, e.name2, e.address, reply, when));
    if (!logged) {
        fail(m_log.errorString());
        return false;
    }
    if (m_journal.isOpen()
        && !(reply.isEmpty() ? m_journal.markAccepted(journalEntry(i)) : m_journal.markRefused(journalEntry(i)))) {
        fail(m_env.journalPath + QStringLiteral(": ") + m_journal.errorString());
        return false;
    }
    return true;
}

// Ends between two messages: the list keeps the entries not accepted.
SendRunResult &Runner::stop()
{
    if (m_journal.isOpen())
        m_journal.markStopped();
    m_journal.close();
    m_log.close();
    SendList kept;
    for (qsizetype i = 0; i < m_list.count(); ++i)
        if (!m_accepted[i])
            kept.append(m_list.entry(i).name1, m_list.entry(i).name2, m_list.entry(i).address);
    m_list.beginBatch();
    m_list.clear();
    for (qsizetype i = 0; i < kept.count(); ++i)
        m_list.append(kept.entry(i).name1, kept.entry(i).name2, kept.entry(i).address);
    m_list.endBatch();
    m_result.outcome = Outcome::Stopped;
    m_result.remaining = m_list.count();
    return m_result;
}

SendRunResult Runner::run()
{
    SessionEnd sessionEnd{m_transport};
    if (!open())
        return m_result;
    const qsizetype count = m_list.count();
    m_source.setProgressMaximum(count);
    const qint64 spacingMs = m_account.MaxPerMinute > 0 ? (60000 + m_account.MaxPerMinute - 1) / m_account.MaxPerMinute
                                                        : 0;
    QElapsedTimer sinceLast;
    OutgoingMessage current;
    if (count > 0)
        current = m_messages->messageFor(m_list.entry(0), m_env.now());
    for (qsizetype i = 0; i < count; ++i) {
        if (m_source.stopRequested())
            return stop();
        if (spacingMs > 0 && sinceLast.isValid() && sinceLast.elapsed() < spacingMs) {
            m_journal.sync(); // a wait is no reason to leave the last outcome off the disk
            if (!m_source.pause(spacingMs - sinceLast.elapsed(), QStringLiteral("送信の間隔を空けています")))
                return stop();
        }
        m_source.setProgress(i + 1);
        sinceLast.start();
        OutgoingMessage following;
        QString reply = current.error;
        if (reply.isEmpty())
            reply = deliver(i, current, &following);
        else if (i + 1 < count)
            following = m_messages->messageFor(m_list.entry(i + 1), m_env.now());
        current = std::move(following);
        if (!reply.isEmpty() && stopsTheRun(reply)) {
            m_log.close();
            m_journal.close();
            m_result.outcome = Outcome::Aborted;
            m_result.text = reply;
            return m_result;
        }
        if (!record(i, reply))
            return m_result;
        if (reply.isEmpty()) {
            m_accepted[i] = true;
            ++m_result.accepted;
        }
        if (m_stopAfterThis)
            return stop();
    }
    m_list.clear();
    m_log.close();
    m_journal.finish();
    m_result.outcome = Outcome::Completed;
    return m_result;
}

} // namespace

SendRunResult runSend(const AccountRecord &account, SendList &list, SendRunSource &source,
                      const SendRunEnvironment &env)
{
    return Runner(account, list, source, env).run();
}

bool SendRunSource::pause(qint64 ms, const QString &)
{
    QDeadlineTimer until(ms);
    while (!until.hasExpired() && !stopRequested())
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(until.remainingTime(), 100)));
    return !stopRequested();
}
