#include "sendrun.h"

#include "account.h"
#include "curltransport.h"
#include "oauthlogin.h"
#include "outgoing.h"
#include "preflight.h"
#include "runcontrol.h"
#include "runlock.h"
#include "sendjournal.h"
#include "sendlist.h"
#include "sentmaillog.h"
#include "settingsstore.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <deque>
#include <optional>

namespace {

// Says goodbye to the server whichever way the run ends.
struct SessionEnd {
    const std::unique_ptr<MailTransport> &transport;
    RunControl *control = nullptr;
    ~SessionEnd()
    {
        if (control)
            control->setTransport(nullptr);
        if (transport)
            transport->end();
    }
};

// How many times in a row the server may close or fail before the run
// gives up on it.
constexpr int kTroubleLimit = 3;
constexpr int kUncertainShown = 5;

} // namespace

TransportSettings transportSettings(const AccountRecord &account, const TransportOptions &options)
{
    TransportSettings s;
    s.host = account.szServer.trimmed();
    const QString port = account.szPort.trimmed();
    bool ok = false;
    const int n = port.toInt(&ok);
    s.smtpPort = port.isEmpty() ? 25 : ok && n > 0 && n < 65536 ? n : 0;
    using Security = ConnectionSecurity;
    s.smtpImplicitTls = account.SmtpSecurity == Security::Tls
                        || (account.SmtpSecurity == Security::Auto && s.smtpPort == 465);
    s.smtpStartTlsRequired = account.SmtpSecurity == Security::StartTls;
    const QString pop3Port = account.Pop3Port.trimmed();
    const int p = pop3Port.toInt(&ok);
    s.pop3Port = pop3Port.isEmpty() ? defaultPop3Port(account.Pop3Security) : ok && p > 0 && p < 65536 ? p : 0;
    s.pop3ImplicitTls = account.Pop3Security == Security::Tls
                        || (account.Pop3Security == Security::Auto && s.pop3Port == 995);
    s.pop3StlsRequired = account.Pop3Security == Security::StartTls;
    s.smtpAuth = account.Check1V == 1;
    s.user = account.User;
    s.oauth = account.OAuth2;
    // The token belongs to the address it was issued for.
    if (account.OAuth2 && !account.OAuthSignedIn.isEmpty())
        s.user = account.OAuthSignedIn;
    s.password = account.UserPass;
    // A paced run holds no message at the server while it waits.
    s.sendWindow = account.MaxPerMinute > 0 ? 1 : account.SendWindow;
    s.allowCleartextPassword = account.Check3V == 1;
    s.timeoutSeconds = options.timeoutSeconds;
    s.extraCaFile = options.extraCaFile.isEmpty() ? account.CaFile : options.extraCaFile;
    s.pinnedKeys = account.PinnedKeys;
    s.untrustedCertificates = options.untrustedCertificates;
    return s;
}

qint64 storedSizeLimit(const SettingsStore &store, int profile)
{
    bool ok = false;
    const qint64 limit = store.value(Setting::SmtpSizeLimit, profile).trimmed().toLongLong(&ok);
    return ok && limit > 0 ? limit : 0;
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
    QString text;
    switch (result.outcome) {
    case Outcome::Completed:
        text = QString::number(result.accepted) + QStringLiteral("件の送信を完了しました。");
        break;
    case Outcome::PreflightFailed: return result.text;
    case Outcome::PopLoginFailed: return QStringLiteral("POP Before SMTP 認証エラー ") + result.text;
    case Outcome::Aborted: text = QStringLiteral("メールサーバーに接続できません。") + result.text; break;
    case Outcome::Stopped:
        text =
            QStringLiteral("%1件を送信して中止しました。残りは%2件です。").arg(result.accepted).arg(result.remaining);
        break;
    case Outcome::Busy:
        return QStringLiteral("ほかの送信が送信ログを使用中のため、送信できません。終わってから、もう一度送信してくださ"
                              "い。\n（%1）")
            .arg(result.text);
    case Outcome::Failed:
        text = QStringLiteral("送信処理中にエラーが発生しました。サーバー情報を確認してください。");
        break;
    case Outcome::SignInFailed: return result.text;
    }
    if (result.suppressed > 0)
        text += QStringLiteral("\n配信停止中のアドレス %1件には送信しませんでした。").arg(result.suppressed);
    if (!result.uncertain.isEmpty()) {
        QStringList shown;
        for (qsizetype i = 0; i < std::min<qsizetype>(result.uncertain.size(), kUncertainShown); ++i)
            shown << result.uncertain[i].label();
        if (result.uncertain.size() > kUncertainShown)
            shown << QStringLiteral("…");
        text += QStringLiteral("\n\n次の%1件は、送信後にサーバーの応答がなく、届いたかどうかわかりません。"
                               "次の送信のときに、もう一度送るかどうかをお尋ねします。\n")
                    .arg(result.uncertain.size())
                + shown.join(QLatin1Char('\n'));
    }
    return text;
}

OutgoingContent outgoingContent(const AccountRecord &account, SendRunSource &source, const QString &settingsFile)
{
    OutgoingContent content;
    content.fromName = account.szFromName;
    content.fromAddress = account.szFrom;
    content.subject = source.subject();
    content.bodyText = source.bodyText();
    content.attachmentText = source.attachmentText();
    content.nameBlock = source.nameBlockOn();
    content.honorific = honorificText(source.honorificOn());
    content.charset = account.Charset;
    content.unsubscribe = unsubscribeParts(account, settingsFile);
    return content;
}

QString signInFailureMessage(const AccessToken &token)
{
    if (token.signInExpired)
        return QStringLiteral("サインインの有効期限が切れました。もう一度サインインしてください。\n") + token.failure;
    return QStringLiteral("サインインを確認できませんでした。\n") + token.failure;
}

bool needsNewSignIn(const QString &text)
{
    return text.startsWith(QStringLiteral("サインインの有効期限が切れました")) || isOAuthLoginFailure(text);
}

namespace {

AccessToken accessTokenFor(const AccountRecord &account, const SendRunEnvironment &env)
{
    if (env.accessToken)
        return env.accessToken(account);
    return freshAccessToken(account, env.transport.settingsFile, env.transport.extraCaFile);
}

// The run's transport; for an OAuth 2.0 account with the token fetched
// before the run and the way to a fresh one.
std::unique_ptr<MailTransport> makeTransport(const AccountRecord &account, const SendRunEnvironment &env,
                                             const QString &accessToken = {})
{
    TransportSettings settings = transportSettings(account, env.transport);
    if (account.OAuth2) {
        settings.accessToken = accessToken;
        settings.renewToken = [account, env] { return accessTokenFor(account, env); };
    }
    return env.makeTransport ? env.makeTransport(settings) : std::make_unique<CurlTransport>(settings);
}

} // namespace

QString sendTestMessage(const AccountRecord &account, OutgoingContent content, const SendList::Entry &entry,
                        const SendRunEnvironment &env)
{
    const QString problem = preflightMessage(content.fromAddress, content.attachmentText);
    if (!problem.isEmpty())
        return problem;
    content.subject = QStringLiteral("[テスト] ") + content.subject;
    AccessToken token;
    if (account.OAuth2 && !(token = accessTokenFor(account, env)).ok())
        return signInFailureMessage(token);
    const std::unique_ptr<MailTransport> transport = makeTransport(account, env, token.token);
    SessionEnd sessionEnd{transport, env.control};
    if (env.control)
        env.control->setTransport(transport.get());
    if (account.Check2V == 1) {
        const QVariant r = transport->checkPop();
        if (r.typeId() != QMetaType::QVariantList)
            return QStringLiteral("POP Before SMTP 認証エラー ") + r.toString();
    }
    OutgoingMessages messages(content);
    const OutgoingMessage m = messages.messageFor({entry.name1, entry.name2, account.szFrom}, env.now());
    if (!m.error.isEmpty())
        return m.error;
    const QString tooLarge = messageSizeMessage(m.data.size(), env.sizeLimit);
    if (!tooLarge.isEmpty())
        return tooLarge;
    const MessageResult r = transport->send(m.envelope, m.data, nullptr);
    if (r.kind == MessageResult::Kind::TooLarge)
        return messageSizeMessage(m.data.size(), transport->sizeLimit());
    if (r.kind == MessageResult::Kind::Uncertain)
        return r.text + QStringLiteral("（届いたかどうかわかりません）");
    return r.text;
}

namespace {

// One run over the list, step by step.
class Runner {
public:
    Runner(const AccountRecord &account, SendList &list, SendRunSource &source, const SendRunEnvironment &env)
        : m_account(account), m_list(list), m_source(source), m_env(env),
          m_content(outgoingContent(account, source, env.transport.settingsFile)),
          m_control(env.control ? env.control : &m_ownControl)
    {
    }

    SendRunResult run();

private:
    using Outcome = SendRunResult::Outcome;
    using Kind = MessageResult::Kind;
    bool open();
    bool lock();
    bool startJournal();
    bool openLog();
    // The message of entry i, tried again after a temporary refusal; the
    // following message is built while the server works.
    MessageResult deliver(qsizetype i, const OutgoingMessage &m, OutgoingMessage *following);
    // The envelope that may travel with entry i's end: the next entry that
    // will reach the server. It only moves forward, so each entry is looked
    // at once here.
    const Envelope *announced(qsizetype i);
    // Entry i with the messages after it in flight, as many as the
    // transport takes; their messages are built as they go.
    MessageResult deliverInWindow(qsizetype i, const OutgoingMessage &m, OutgoingMessage *following);
    bool windowed(qsizetype i) const;
    bool inWindow(qsizetype i) const { return (!m_window.empty() && m_window.front() == i) || m_early.contains(i); }
    bool nothingInFlight() const { return m_window.empty() && m_early.isEmpty(); }
    // Reads every result still due, so the connection serves one message.
    void drainWindow();
    // The results still due go into the log and the journal, before the run
    // ends early.
    void recordRest();
    OutgoingMessage messageFor(qsizetype i);
    // Waits ms (pacing, a retry); false when the user stopped meanwhile.
    bool pause(qint64 ms, const QString &what);
    bool stopAsked() const { return m_control->stopRequested() || m_source.stopRequested(); }
    // The outcome of entry i into the log and the journal.
    bool record(qsizetype i, const MessageResult &r);
    bool journalFailed();
    SendRunResult &fail(const QString &text);
    SendRunResult &abort(const QString &text);
    // The server's limit stopped the run's first message: nothing went.
    SendRunResult &tooLarge(qint64 size);
    SendRunResult &stop();
    SendRunResult &complete();
    // The journal stays while something is left to send or to decide.
    void closeJournal();
    qsizetype journalEntry(qsizetype i) const { return m_env.journalIndex.isEmpty() ? i : m_env.journalIndex[i]; }

    const AccountRecord &m_account;
    SendList &m_list;
    SendRunSource &m_source;
    const SendRunEnvironment &m_env;
    const OutgoingContent m_content;
    RunControl m_ownControl;
    RunControl *m_control;
    SendRunResult m_result;
    std::unique_ptr<RunLock> m_lock;
    std::unique_ptr<MailTransport> m_transport;
    std::optional<OutgoingMessages> m_messages;
    SentMailLog m_log;
    SendJournal m_journal;
    QList<bool> m_accepted;
    QList<bool> m_settled;     // accepted or refused for good
    qsizetype m_inFlight = -1; // the entry whose data may go next
    bool m_journalBroken = false;
    bool m_stopAfterThis = false;
    bool m_reachedServer = false; // a message went past the server's size limit check
    int m_troubleStreak = 0;
    // The next entry that will reach the server (announced()).
    qsizetype m_ahead = 0;
    OutgoingMessage m_aheadMessage;
    // Entries started in a window and not finished, in order; results read
    // early; messages built ahead; the next entry the window looks at.
    std::deque<qsizetype> m_window;
    QHash<qsizetype, MessageResult> m_early;
    QHash<qsizetype, OutgoingMessage> m_built;
    qsizetype m_windowNext = 0;
    bool m_started = false; // a message went to the transport
};

bool Runner::lock()
{
    if (m_env.logPath.isEmpty() || m_env.lockHeld)
        return true;
    m_lock = std::make_unique<RunLock>(m_env.logPath);
    if (m_lock->tryLock())
        return true;
    m_result.outcome = m_lock->holderPid() > 0 ? Outcome::Busy : Outcome::Failed;
    m_result.text = m_lock->errorText();
    return false;
}

bool Runner::startJournal()
{
    if (m_env.journalPath.isEmpty())
        return true;
    QString error;
    if (!m_env.journalIndex.isEmpty())
        return m_journal.resume(m_env.journalPath, &error) || (fail(error), false);
    // A journal that still has entries to send is the only record of them.
    if (QFile::exists(m_env.journalPath)) {
        const std::optional<JournalState> pending = readJournal(m_env.journalPath, &error);
        if (!pending || pending->pending()) {
            fail(QStringLiteral("%1: a run that ended early is not finished").arg(m_env.journalPath));
            return false;
        }
    }
    const JournalContent c{m_account.Account,        m_content.subject,   m_content.bodyText,
                           m_content.attachmentText, m_content.nameBlock, m_source.honorificOn()};
    return m_journal.begin(m_env.journalPath, c, m_list, &error) || (fail(error), false);
}

bool Runner::openLog()
{
    // A dry run keeps no log.
    if (m_env.logPath.isEmpty())
        return true;
    const bool ok = m_env.journalIndex.isEmpty()
                        ? m_log.open(m_env.logPath, m_account.szFromName, m_account.szFrom, m_account.szServer,
                                     m_content.subject, m_env.now())
                        : m_log.openToContinue(m_env.logPath, m_account.szFromName, m_account.szFrom,
                                               m_account.szServer, m_content.subject, m_env.now());
    if (!ok)
        fail(m_log.errorString());
    return ok;
}

bool Runner::open()
{
    if (!lock())
        return false;
    m_result.text = preflightMessage(m_content.fromAddress, m_content.attachmentText);
    if (!m_result.text.isEmpty()) {
        m_result.outcome = Outcome::PreflightFailed;
        return false;
    }
    // The sign-in is checked before anything is written or sent.
    AccessToken token;
    if (m_account.OAuth2 && !(token = accessTokenFor(m_account, m_env)).ok()) {
        m_result.outcome = Outcome::SignInFailed;
        m_result.signInExpired = token.signInExpired;
        m_result.text = signInFailureMessage(token);
        return false;
    }
    // The attachments are read once, here.
    m_messages.emplace(m_content);
    if (m_env.sizeLimit > 0) {
        m_result.text = messageSizeMessage(m_messages->largestSize(m_list), m_env.sizeLimit);
        if (!m_result.text.isEmpty()) {
            m_result.outcome = Outcome::PreflightFailed;
            return false;
        }
    }
    m_transport = makeTransport(m_account, m_env, token.token);
    m_control->setTransport(m_transport.get());
    m_transport->beforeData = [this] {
        if (m_journal.isOpen() && m_inFlight >= 0 && !m_journal.markData(journalEntry(m_inFlight))) {
            m_journalBroken = true;
            return false;
        }
        return true;
    };
    if (m_account.Check2V == 1) {
        const QVariant r = m_transport->checkPop();
        if (r.typeId() != QMetaType::QVariantList) {
            m_result.outcome = Outcome::PopLoginFailed;
            m_result.text = r.toString();
            return false;
        }
    }
    // The log only once the journal runs: a run that can't keep its journal
    // leaves the last log as it was.
    if (!startJournal() || !openLog())
        return false;
    m_accepted = QList<bool>(m_list.count(), false);
    m_settled = QList<bool>(m_list.count(), false);
    return true;
}

SendRunResult &Runner::fail(const QString &text)
{
    m_result.outcome = Outcome::Failed;
    m_result.text = text;
    return m_result;
}

bool Runner::journalFailed()
{
    if (!m_journalBroken)
        return false;
    fail(m_journal.errorString());
    m_log.close();
    m_journal.close();
    return true;
}

bool Runner::pause(qint64 ms, const QString &what)
{
    if (!m_journal.sync()) {
        m_journalBroken = true;
        return false;
    }
    const QDeadlineTimer until(ms);
    return m_source.pause(ms, what) && !stopAsked() && m_control->wait(until.remainingTime());
}

OutgoingMessage Runner::messageFor(qsizetype i)
{
    const auto built = m_built.find(i);
    if (built == m_built.end())
        return m_messages->messageFor(m_list.entry(i), m_env.now());
    OutgoingMessage m = std::move(*built);
    m_built.erase(built);
    return m;
}

bool Runner::windowed(qsizetype i) const
{
    if (inWindow(i))
        return true;
    // The first message opens the session and tells whether it takes a window.
    return m_account.MaxPerMinute <= 0 && m_account.SendWindow > 1 && (!m_started || m_transport->window() > 1);
}

MessageResult Runner::deliverInWindow(qsizetype i, const OutgoingMessage &m, OutgoingMessage *following)
{
    const qsizetype count = m_list.count();
    if (!inWindow(i)) {
        m_inFlight = i;
        // Where the server turns out to take no window, the next envelope
        // travels with this message's end as always.
        m_transport->start(m.envelope, m.data, m_started ? nullptr : announced(i));
        m_window.push_back(i);
        m_started = true;
    }
    m_windowNext = std::max(m_windowNext, i + 1);
    while (m_windowNext < count && static_cast<qsizetype>(m_window.size()) < m_transport->window() && !stopAsked()
           && !m_stopAfterThis && !m_journalBroken) {
        const qsizetype j = m_windowNext++;
        OutgoingMessage next = m_messages->messageFor(m_list.entry(j), m_env.now());
        if (next.error.isEmpty()) {
            m_inFlight = j;
            m_transport->start(next.envelope, next.data, nullptr);
            m_window.push_back(j);
        }
        m_built.insert(j, std::move(next));
    }
    if (i + 1 < count)
        *following = messageFor(i + 1);
    if (m_early.contains(i))
        return m_early.take(i);
    m_window.pop_front();
    return m_transport->finish();
}

void Runner::drainWindow()
{
    while (!m_window.empty()) {
        const qsizetype j = m_window.front();
        m_window.pop_front();
        m_early.insert(j, m_transport->finish());
    }
}

void Runner::recordRest()
{
    drainWindow();
    QList<qsizetype> entries = m_early.keys();
    std::sort(entries.begin(), entries.end());
    for (qsizetype j : entries) {
        const MessageResult r = m_early.take(j);
        if (r.kind == Kind::NotSent || r.kind == Kind::Unusable || r.kind == Kind::UnusableForNow) {
            if (m_journal.isOpen())
                m_journal.markNotSent(journalEntry(j));
            continue;
        }
        if (!record(j, r))
            return;
        if (r.accepted())
            ++m_result.accepted;
    }
}

const Envelope *Runner::announced(qsizetype i)
{
    const qsizetype count = m_list.count();
    // A paced run holds no envelope at the server while it waits.
    if (m_account.MaxPerMinute > 0)
        return nullptr;
    if (m_ahead <= i) {
        for (m_ahead = i + 1; m_ahead < count; ++m_ahead) {
            m_aheadMessage = m_messages->envelopeFor(m_list.entry(m_ahead));
            if (m_aheadMessage.error.isEmpty())
                break;
        }
    }
    return m_ahead < count ? &m_aheadMessage.envelope : nullptr;
}

MessageResult Runner::deliver(qsizetype i, const OutgoingMessage &m, OutgoingMessage *following)
{
    MessageResult r;
    if (windowed(i)) {
        r = deliverInWindow(i, m, following);
    } else {
        m_inFlight = i;
        m_transport->start(m.envelope, m.data, announced(i));
        m_started = true;
        if (i + 1 < m_list.count())
            *following = messageFor(i + 1);
        r = m_transport->finish();
    }
    for (qsizetype attempt = 0;; ++attempt) {
        const bool unusable = r.kind == Kind::Unusable || r.kind == Kind::UnusableForNow;
        m_troubleStreak = r.serverTrouble() ? m_troubleStreak + 1 : unusable ? m_troubleStreak : 0;
        if (!r.temporary() || m_journalBroken || m_troubleStreak >= kTroubleLimit
            || attempt >= m_env.retryWaitsMs.size())
            break;
        // The connection carries this message alone until it is settled.
        drainWindow();
        m_inFlight = i;
        // Not delivered: the next attempt starts clean.
        if (m_journal.isOpen() && !m_journal.markNotSent(journalEntry(i))) {
            m_journalBroken = true;
            break;
        }
        if (!pause(m_env.retryWaitsMs[attempt], QStringLiteral("再送を待っています"))) {
            m_stopAfterThis = true;
            break;
        }
        r = m_transport->send(m.envelope, m.data, nullptr);
    }
    m_inFlight = -1;
    return r;
}

bool Runner::record(qsizetype i, const MessageResult &r)
{
    const SendList::Entry e = m_list.entry(i);
    const QDateTime when = m_env.now();
    bool logged = true;
    if (!m_env.logPath.isEmpty()) {
        switch (r.kind) {
        case Kind::Accepted: logged = m_log.writeSuccess(e.name1, e.name2, e.address, when); break;
        case Kind::Uncertain: logged = m_log.writeUncertain(e.name1, e.name2, e.address, r.text, when); break;
        default: logged = m_log.writeError(e.name1, e.name2, e.address, r.text, when); break;
        }
    }
    if (!logged) {
        fail(m_log.errorString());
        return false;
    }
    // An uncertain entry keeps its data mark and no outcome.
    if (r.kind == Kind::Uncertain) {
        m_result.uncertain << e;
        return true;
    }
    if (m_journal.isOpen()
        && !(r.accepted() ? m_journal.markAccepted(journalEntry(i)) : m_journal.markRefused(journalEntry(i)))) {
        fail(m_journal.errorString());
        return false;
    }
    m_settled[i] = true;
    m_accepted[i] = r.accepted();
    return true;
}

void Runner::closeJournal()
{
    if (m_result.uncertain.isEmpty() && !m_settled.contains(false))
        m_journal.finish();
    else
        m_journal.close();
}

SendRunResult &Runner::tooLarge(qint64 size)
{
    m_log.close();
    // A run begun here leaves nothing to finish; a resumed one its journal.
    if (m_env.journalIndex.isEmpty())
        m_journal.finish();
    else
        m_journal.close();
    m_result.outcome = Outcome::PreflightFailed;
    m_result.text = messageSizeMessage(size, m_transport->sizeLimit());
    return m_result;
}

SendRunResult &Runner::abort(const QString &text)
{
    recordRest();
    m_log.close();
    closeJournal();
    m_result.outcome = Outcome::Aborted;
    m_result.text = text;
    return m_result;
}

// Ends between two messages: the list keeps the entries not accepted.
SendRunResult &Runner::stop()
{
    recordRest();
    closeJournal();
    m_log.close();
    QList<SendList::Entry> entries;
    entries.reserve(m_list.count());
    for (qsizetype i = 0; i < m_list.count(); ++i)
        entries << m_list.entry(i);
    m_list.setEntries(entries, entriesLeft(m_accepted));
    m_result.outcome = Outcome::Stopped;
    m_result.remaining = m_list.count();
    return m_result;
}

SendRunResult &Runner::complete()
{
    m_list.clear();
    m_log.close();
    closeJournal();
    m_result.outcome = Outcome::Completed;
    return m_result;
}

SendRunResult Runner::run()
{
    SessionEnd sessionEnd{m_transport, m_control};
    m_result.suppressed = m_env.suppressedLeftOut;
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
        if (stopAsked() && nothingInFlight())
            return stop();
        if (spacingMs > 0 && sinceLast.isValid() && sinceLast.elapsed() < spacingMs
            && !pause(spacingMs - sinceLast.elapsed(), QStringLiteral("送信の間隔を空けています")))
            return journalFailed() ? m_result : stop();
        m_source.setProgress(i + 1);
        sinceLast.start();
        OutgoingMessage following;
        MessageResult r{Kind::Refused, current.error};
        const qint64 size = current.data.size();
        const bool toServer = current.error.isEmpty();
        if (toServer)
            r = deliver(i, current, &following);
        else if (i + 1 < count)
            following = messageFor(i + 1);
        current = std::move(following);
        if (journalFailed())
            return m_result;
        if (r.kind == Kind::Unusable || r.kind == Kind::UnusableForNow)
            return abort(r.text);
        // Messages differ by their names alone: when the first is too large
        // for the server, so is the run.
        if (r.kind == Kind::TooLarge && !m_reachedServer)
            return tooLarge(size);
        m_reachedServer = m_reachedServer || (toServer && r.kind != Kind::TooLarge);
        // A server that closes or fails on every message can't carry the
        // run: the entry stays to be sent, as after a failed connection.
        if (m_troubleStreak >= kTroubleLimit) {
            if (m_journal.isOpen() && r.kind == Kind::NotSent)
                m_journal.markNotSent(journalEntry(i));
            return abort(r.text);
        }
        // Stopped while waiting to try again: the entry stays to be sent.
        if (m_stopAfterThis && r.temporary()) {
            if (m_journal.isOpen())
                m_journal.markNotSent(journalEntry(i));
            return stop();
        }
        if (!record(i, r))
            return m_result;
        if (r.accepted())
            ++m_result.accepted;
        if ((m_stopAfterThis || m_control->stoppedNow()) && nothingInFlight())
            return stop();
    }
    return complete();
}

} // namespace

SendRunResult runSend(const AccountRecord &account, SendList &list, SendRunSource &source,
                      const SendRunEnvironment &env)
{
    return Runner(account, list, source, env).run();
}

bool SendRunSource::pause(qint64, const QString &)
{
    return true;
}
