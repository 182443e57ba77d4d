#include "curltransport.h"

#include "curlconnection.h"
#include "curltransport_p.h"
#include "helloname.h"
#include "oauthlogin.h"

#include <QElapsedTimer>
#include <QMessageAuthenticationCode>
#include <QVariantList>
#include <algorithm>
#include <utility>

namespace transport {

// The server's text, or what stands for it when there is none.
QString fromServer(const QByteArray &bytes)
{
    if (bytes.trimmed().isEmpty())
        return QStringLiteral("the server gave an empty reply");
    return serverText(bytes);
}

// A reply that is not SMTP (no three-digit code): after it the server's
// state is unknown.
bool malformed(const ServerReply &r)
{
    return r.complete() && (r.code < 200 || r.code > 599);
}

// A well-formed refusal: the server knows the command failed.
bool wellFormedRefusal(const ServerReply &r)
{
    return r.complete() && r.code >= 400 && r.code <= 599;
}

QString tooLongText()
{
    return QStringLiteral("The server's reply was too long (a line over %1 octets or more than %2 octets)")
        .arg(CurlConnection::kMaxLine)
        .arg(CurlConnection::kMaxReply);
}

bool hasLineBreak(const QString &text)
{
    for (QChar c : text)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            return true;
    return false;
}

int shorter(int rfcSeconds, const TransportSettings &s)
{
    return s.timeoutSeconds > 0 ? std::min(rfcSeconds, s.timeoutSeconds) : rfcSeconds;
}

CurlConnection::Options connectionOptions(const TransportSettings &s, MailProtocol protocol)
{
    CurlConnection::Options o;
    o.protocol = protocol;
    o.host = s.host;
    const bool smtp = protocol == MailProtocol::Smtp;
    o.port = smtp ? s.smtpPort : s.pop3Port;
    o.implicitTls = smtp ? s.smtpImplicitTls : s.pop3ImplicitTls;
    o.upgradeRequired = smtp ? s.smtpStartTlsRequired : s.pop3StlsRequired;
    o.connectSeconds = shorter(kConnectSeconds, s);
    o.replySeconds = shorter(kCommandSeconds, s);
    o.extraCaFile = s.extraCaFile;
    if (smtp)
        o.helloName = s.helloName.isEmpty() ? fullyQualifiedHostName() : s.helloName.toLatin1();
    o.pinnedKeys = s.pinnedKeys;
    o.untrusted = s.untrustedCertificates;
    return o;
}

// Credentials go over TLS; in clear only to this machine or where the
// account allows it.
bool mayLogIn(const CurlConnection &c, const TransportSettings &s)
{
    return c.isEncrypted() || c.isLoopback() || s.allowCleartextPassword;
}

QString clearTextRefusal()
{
    return QStringLiteral("the server offers no TLS, and the account does not allow the password "
                          "to be sent unencrypted");
}

} // namespace transport

using namespace transport;

CurlTransport::CurlTransport(TransportSettings settings)
    : m_settings(std::move(settings)), m_conn(std::make_unique<CurlConnection>()),
      m_pop(std::make_unique<CurlConnection>())
{
}

CurlTransport::~CurlTransport()
{
    end();
}

QString CurlTransport::cantConnect(const QString &detail) const
{
    return QStringLiteral("Cant connect Server (%1:%2: %3)").arg(m_settings.host).arg(m_settings.smtpPort).arg(detail);
}

int CurlTransport::limitMs(int rfcSeconds) const
{
    return shorter(rfcSeconds, m_settings) * 1000;
}

// Why a message's fate is unknown, or its transaction could not go on.
QString CurlTransport::lost(const ServerReply &reply) const
{
    if (m_conn->wasAborted())
        return QStringLiteral("Stopped by the user before the server replied");
    switch (reply.status) {
    case ServerReply::TimedOut:
        return QStringLiteral("The server did not reply in time (%1:%2)").arg(m_settings.host).arg(m_settings.smtpPort);
    case ServerReply::TooLong: return tooLongText();
    default:
        return QStringLiteral("Connection to the server was lost (%1:%2)")
            .arg(m_settings.host)
            .arg(m_settings.smtpPort);
    }
}

namespace {

// SIZE with a number names the server's limit (0: none); without one it
// names none. Anything else is no SIZE at all (RFC 1870).
bool sizeCapability(const QByteArrayList &words, bool offered, qint64 *limit)
{
    *limit = 0;
    if (!offered)
        return false;
    if (words.isEmpty())
        return true;
    const QByteArray &n = words.first();
    if (n.isEmpty() || n.size() > 18 || !std::all_of(n.cbegin(), n.cend(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    *limit = n.toLongLong();
    return true;
}

QString tooLargeText(qint64 size, qint64 limit)
{
    return QStringLiteral("The message (%1 octets) is larger than the server takes (%2 octets)").arg(size).arg(limit);
}

} // namespace

QString CurlTransport::openSession(bool *forNow)
{
    m_staged.reset();
    m_needsReset = false;
    m_refusedHere = 0;
    m_lagging = false;
    m_quickestReplyMs = -1;
    const QString error = m_conn->open(connectionOptions(m_settings, MailProtocol::Smtp));
    if (onOpened)
        onOpened(MailProtocol::Smtp, *m_conn);
    if (!error.isEmpty())
        return cantConnect(error);
    m_conn->capability("PIPELINING", &m_pipelining);
    m_conn->capability("SMTPUTF8", &m_smtpUtf8);
    m_conn->capability("CHUNKING", &m_chunking);
    m_chunking = m_chunking && m_pipelining && m_settings.sendWindow > 1;
    bool sizeOffered = false;
    const QByteArrayList size = m_conn->capability("SIZE", &sizeOffered);
    m_sizeOffered = sizeCapability(size, sizeOffered, &m_sizeLimit);
    if (m_settings.smtpAuth) {
        const QString refusal = login(forNow);
        if (!refusal.isEmpty()) {
            closeSession();
            return refusal;
        }
    }
    return {};
}

QString CurlTransport::login(bool *forNow)
{
    bool offered = false;
    const QByteArrayList mechanisms = m_conn->capability("AUTH", &offered);
    if (!offered)
        return {}; // the server asks for no login
    if (!mayLogIn(*m_conn, m_settings))
        return cantConnect(clearTextRefusal());
    if (m_settings.oauth)
        return smtpOAuthLogin(*m_conn, m_settings);
    const QByteArray user = m_settings.user.toUtf8();
    const QByteArray password = m_settings.password.toUtf8();

    auto step = [this](const QByteArray &line) {
        if (!m_conn->sendAll(line + "\r\n"))
            return ServerReply();
        return m_conn->readReply();
    };
    ServerReply r;
    if (mechanisms.contains("PLAIN")) {
        r = step("AUTH PLAIN " + ('\0' + user + '\0' + password).toBase64());
    } else if (mechanisms.contains("LOGIN")) {
        r = step("AUTH LOGIN");
        if (r.code == 334)
            r = step(user.toBase64());
        if (r.code == 334)
            r = step(password.toBase64());
    } else if (mechanisms.contains("CRAM-MD5")) {
        r = step("AUTH CRAM-MD5");
        if (r.code == 334) {
            const QByteArray challenge = QByteArray::fromBase64(r.text.mid(4));
            const QByteArray digest =
                QMessageAuthenticationCode::hash(challenge, password, QCryptographicHash::Md5).toHex();
            r = step((user + ' ' + digest).toBase64());
        }
    } else {
        return QStringLiteral("AUTH LOGIN failed (no login method in common; the server offers %1)")
            .arg(QString::fromLatin1(mechanisms.join(' ')));
    }
    if (r.complete() && r.code == 235)
        return {};
    if (!r.complete())
        return cantConnect(r.status == ServerReply::TooLong ? tooLongText() : QStringLiteral("no answer to the login"));
    *forNow = r.code >= 400 && r.code < 500;
    return QStringLiteral("AUTH LOGIN failed (") + fromServer(r.text) + QLatin1Char(')');
}

bool CurlTransport::sendable(const Envelope &e) const
{
    return m_smtpUtf8 || !(e.from.needsSmtpUtf8 || e.to.needsSmtpUtf8);
}

const QByteArray &CurlTransport::wireOf(const MailAddress &a) const
{
    return m_smtpUtf8 && !a.wireUtf8.isEmpty() ? a.wireUtf8 : a.wire;
}

QByteArray CurlTransport::envelopeCommands(const Envelope &e) const
{
    const QByteArray &from = wireOf(e.from);
    const QByteArray &to = wireOf(e.to);
    const bool utf8 = from != e.from.wire || to != e.to.wire || e.from.needsSmtpUtf8 || e.to.needsSmtpUtf8;
    QByteArray c;
    c.reserve(from.size() + to.size() + 48);
    c += "MAIL FROM:<";
    c += from;
    c += utf8 ? "> SMTPUTF8" : ">";
    if (m_sizeOffered && e.size > 0)
        c += " SIZE=" + QByteArray::number(e.size);
    c += "\r\n";
    c += "RCPT TO:<";
    c += to;
    c += ">\r\nDATA\r\n";
    return c;
}

ServerReply CurlTransport::readEnvelopeReply(int index)
{
    return timedReply(limitMs(index == 2 ? kDataSeconds : kCommandSeconds));
}

ServerReply CurlTransport::timedReply(int limit)
{
    // After a refusal, a reply that keeps us waiting much longer than this
    // session's quickest is not waited for.
    const bool watch = m_refusedHere > 0 && m_quickestReplyMs >= 0 && !m_lagging;
    const int wait = watch ? static_cast<int>(std::min<qint64>(limit, m_quickestReplyMs + kLagMs)) : limit;
    QElapsedTimer waited;
    waited.start();
    const ServerReply r = m_conn->readReply(wait);
    if (watch && wait < limit && r.status == ServerReply::TimedOut)
        m_lagging = true;
    if (r.complete() && (m_quickestReplyMs < 0 || waited.elapsed() < m_quickestReplyMs))
        m_quickestReplyMs = waited.elapsed();
    return r;
}

void CurlTransport::leaveSession()
{
    if (!(m_staged && m_staged->replies.value(2).code == 354))
        m_conn->sendAll("QUIT\r\n", kGoodbyeMs);
    closeSession();
}

void CurlTransport::closeSession()
{
    settleInFlight(lost(ServerReply()));
    m_conn->close();
    m_staged.reset();
    m_needsReset = false;
}

void CurlTransport::discardStaged()
{
    // A server that said 354 waits for a message; only closing the
    // connection ends that without sending one.
    if (m_staged->replies.value(2).code == 354)
        closeSession();
    else
        m_needsReset = true;
    m_staged.reset();
}

bool CurlTransport::sendEnvelope(const Envelope &e, QList<ServerReply> *replies, ServerReply *failure)
{
    auto fail = [&](const ServerReply &r) {
        *failure = r;
        return false;
    };
    const QByteArray commands = envelopeCommands(e);
    // With PIPELINING the reset and the whole envelope go in one write.
    QByteArray first = m_needsReset ? QByteArray("RSET\r\n") : QByteArray();
    if (m_pipelining)
        first += commands;
    if (!first.isEmpty() && !m_conn->sendAll(first))
        return fail(ServerReply());
    if (m_needsReset) {
        const ServerReply reset = timedReply(limitMs(kCommandSeconds));
        if (!reset.complete())
            return fail(reset);
        m_needsReset = false;
    }
    // Without it, MAIL, then RCPT, then DATA, each only after the one before
    // was accepted.
    qsizetype from = 0;
    for (int i = 0; i < 3; ++i) {
        bool sent = true;
        if (!m_pipelining) {
            const qsizetype end = commands.indexOf('\n', from) + 1;
            sent = m_conn->sendAll(QByteArrayView(commands).sliced(from, end - from));
            from = end;
        }
        const ServerReply r = sent ? readEnvelopeReply(i) : ServerReply();
        if ((!r.complete() && replies->isEmpty()) || m_lagging)
            return fail(r);
        replies->append(r);
        if (!r.complete() || (!m_pipelining && !r.positive()))
            break;
    }
    return true;
}

namespace {

// The first reply of MAIL, RCPT, DATA that is not a go-ahead (nullptr when
// the envelope was accepted); it may be one that never came.
const ServerReply *firstRefusal(const QList<ServerReply> &replies)
{
    for (qsizetype i = 0; i < replies.size(); ++i)
        if (i < 2 ? !replies[i].positive() : !(replies[i].complete() && replies[i].code == 354))
            return &replies[i];
    return replies.size() == 3 ? nullptr : &replies.last();
}

} // namespace

MessageResult CurlTransport::finishRefused(const ServerReply &refusal, const QList<ServerReply> &replies)
{
    using Kind = MessageResult::Kind;
    if (!refusal.complete()) {
        const QString text = lost(refusal);
        closeSession();
        return {Kind::NotSent, text};
    }
    const QString text = fromServer(refusal.text);
    // The server is closing the connection, broke off after refusing, or
    // said something that is not SMTP: its state is unknown.
    if (refusal.code == 421 || !replies.last().complete() || std::any_of(replies.cbegin(), replies.cend(), malformed)) {
        closeSession();
        return {Kind::Refused, text};
    }
    ++m_refusedHere;
    // A server that takes DATA all the same waits for a message. Only when it
    // refused the recipient can an empty one end that without delivering
    // anything; otherwise the connection goes.
    if (replies.size() == 3 && replies[2].code == 354) {
        if (!wellFormedRefusal(replies[1]) || !m_conn->sendAll(".\r\n")
            || !m_conn->readReply(limitMs(kFinalDotSeconds)).complete())
            closeSession();
        else
            m_needsReset = true;
        return {Kind::Refused, text};
    }
    m_needsReset = true;
    return {Kind::Refused, text};
}

void CurlTransport::start(const Envelope &envelope, const QByteArray &message, const Envelope *next)
{
    if (startChunked(envelope, message))
        return;
    m_pending = std::make_unique<Pending>(Pending{envelope, message, next ? std::optional(*next) : std::nullopt});
    // The envelope went ahead and the server is waiting for its message:
    // send it now, and its end carries the next envelope.
    if (m_staged && m_staged->envelope == envelope && !firstRefusal(m_staged->replies) && fits(message.size())) {
        m_staged.reset();
        m_pending->written = true;
        m_pending->writeFailed = !writeMessage();
    }
}

MessageResult CurlTransport::finish()
{
    if (!m_inFlight.empty())
        return finishChunked();
    if (!m_pending)
        return {MessageResult::Kind::Refused, QStringLiteral("No message to send")};
    const MessageResult result = m_pending->written ? readOutcome() : sendWhole();
    m_pending.reset();
    return result;
}

MessageResult CurlTransport::sendWhole()
{
    using Kind = MessageResult::Kind;
    const Envelope &envelope = m_pending->envelope;
    if (m_staged && !(m_staged->envelope == envelope))
        discardStaged();

    QList<ServerReply> replies;
    for (int attempt = 0;; ++attempt) {
        // A session the window path just opened is as fresh as one opened here.
        bool fresh = std::exchange(m_openedAhead, false);
        // A server that has begun to slow this session down gets no more
        // of it.
        if (m_conn->isOpen() && !m_staged && freshSessionDue())
            leaveSession();
        if (!m_conn->isOpen()) {
            bool forNow = false;
            const QString error = openSession(&forNow);
            if (!error.isEmpty())
                return {m_conn->wasAborted() ? Kind::NotSent : forNow ? Kind::UnusableForNow : Kind::Unusable, error};
            fresh = true;
        }
        if (!sendable(envelope))
            return {Kind::Refused,
                    QStringLiteral("The server does not take addresses outside ASCII (no SMTPUTF8): ")
                        + QString::fromUtf8(envelope.from.needsSmtpUtf8 ? envelope.from.wire : envelope.to.wire)};
        if (!fits(m_pending->message.size())) {
            if (m_staged)
                discardStaged();
            return {Kind::TooLarge, tooLargeText(m_pending->message.size(), m_sizeLimit)};
        }
        if (m_staged) {
            replies = std::move(m_staged->replies);
            m_staged.reset();
            break;
        }
        ServerReply failure;
        if (sendEnvelope(envelope, &replies, &failure))
            break;
        // Nothing of the message went: it goes on a fresh connection now.
        if (m_lagging) {
            leaveSession();
            replies.clear();
            continue;
        }
        closeSession();
        // A kept connection that the server dropped while idle: once more
        // on a new one. Nothing of the message has gone out.
        if (fresh || attempt > 0 || failure.status != ServerReply::Closed || m_conn->wasAborted())
            return {Kind::NotSent, lost(failure)};
    }

    if (const ServerReply *refusal = firstRefusal(replies))
        return finishRefused(*refusal, replies);
    m_pending->writeFailed = !writeMessage();
    return readOutcome();
}

bool CurlTransport::writeMessage()
{
    Pending &p = *m_pending;
    // The server waits for data: a message held back leaves no way but to
    // close the connection.
    if (!dataMayGo()) {
        closeSession();
        return false;
    }
    p.ahead = m_pipelining && p.next && sendable(*p.next) && fits(p.next->size) && !freshSessionDue();
    QByteArray out;
    out.reserve(p.message.size() + 160);
    out += p.message;
    out += ".\r\n";
    if (p.ahead)
        out += envelopeCommands(*p.next);
    qsizetype written = 0;
    const bool ok = m_conn->sendAll(out, limitMs(kDataBlockSeconds), &written);
    p.endWritten = written >= p.message.size() + 3;
    return ok;
}

MessageResult CurlTransport::readOutcome()
{
    using Kind = MessageResult::Kind;
    const Pending &p = *m_pending;
    if (p.writeFailed) {
        const QString text = lost(ServerReply());
        closeSession();
        // Once its end has gone the server may have taken it.
        return {p.endWritten ? Kind::Uncertain : Kind::NotSent, text};
    }
    const ServerReply done = m_conn->readReply(limitMs(kFinalDotSeconds));
    if (!done.complete()) {
        const QString text = lost(done);
        closeSession();
        return {Kind::Uncertain, text};
    }
    if (p.ahead && done.code != 421 && !malformed(done)) {
        auto staged = std::make_unique<Staged>();
        staged->envelope = *p.next;
        for (int i = 0; i < 3 && (staged->replies.isEmpty() || staged->replies.last().complete()) && !m_lagging; ++i)
            staged->replies.append(readEnvelopeReply(i));
        // Kept when it is complete, or refused before the connection broke
        // (a 421 to the next MAIL is that message's answer). A server that
        // lags gets no more of this session: without its data nothing of
        // that envelope is delivered, and it goes again on a fresh one.
        const ServerReply *refusal = firstRefusal(staged->replies);
        if (m_lagging)
            leaveSession();
        else if (!refusal || refusal->complete())
            m_staged = std::move(staged);
        else
            closeSession(); // the connection is in no known state
    }
    if (done.code >= 200 && done.code < 300)
        return {Kind::Accepted, {}};
    if (done.code == 421 || malformed(done))
        closeSession();
    return {Kind::Refused, fromServer(done.text)};
}

QString CurlTransport::open()
{
    bool forNow = false; // a check reports a login refused for now as refused
    return m_conn->isOpen() ? QString() : openSession(&forNow);
}

void CurlTransport::end()
{
    if (!m_conn->isOpen())
        return;
    // A server slowing the session down holds its goodbye back too.
    if (freshSessionDue()) {
        leaveSession();
        return;
    }
    if (!(m_staged && m_staged->replies.value(2).code == 354) && m_conn->sendAll("QUIT\r\n", kGoodbyeMs))
        m_conn->readReply(kGoodbyeMs);
    closeSession();
}

void CurlTransport::abort()
{
    m_conn->abort();
    m_pop->abort();
}
