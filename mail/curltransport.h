#pragma once
// The transport on libcurl: one SMTP session kept open across the run's
// messages, and the POP3 check.
//
// Safety: TLS whenever the server offers it (and then required), or always
// where the account says so; certificates verified, or the key the user
// trusted; credentials only over TLS, to a loopback server, or where the
// account allows them in clear. Speed: with PIPELINING, one write and one round trip
// per message: a message's end travels with the next message's MAIL, RCPT
// and DATA (RFC 2920), so their replies come back together. Servers slow
// down a session that makes errors, each reply more after a few: after a
// few refused envelopes, or once replies lag after one, the session says
// QUIT and the next message goes on a fresh connection.

#include "mailprotocol.h"
#include "mailtransport.h"

#include <deque>
#include <memory>
#include <optional>

class CurlConnection;
struct ServerReply;

class CurlTransport : public MailTransport {
public:
    explicit CurlTransport(TransportSettings settings);
    ~CurlTransport() override;

    QVariant checkPop() override;
    // Opens the SMTP session (connection, TLS, login) before any message;
    // "" or why not, as a message's text would say.
    QString open();
    void start(const Envelope &envelope, const QByteArray &message, const Envelope *next) override;
    MessageResult finish() override;
    void end() override;
    void abort() override;
    qint64 sizeLimit() const override { return m_sizeLimit; }
    int window() const override;

    // Refused envelopes after which a session is left for a fresh one.
    static constexpr int kRefusalsPerSession = 5;
    // A reply this much slower than the session's quickest, after a
    // refusal, means the server has begun to hold its replies back.
    static constexpr int kLagMs = 500;

    // Called after each attempt to open a connection, whether it opened or
    // not, before anything is said on it: the connection test shows what
    // each one saw.
    std::function<void(MailProtocol, const CurlConnection &)> onOpened;

private:
    // An envelope sent ahead with the previous message's end, and its replies.
    struct Staged {
        Envelope envelope;
        QList<ServerReply> replies; // MAIL, RCPT, DATA
    };
    // The message between start() and finish().
    struct Pending {
        Envelope envelope;
        QByteArray message;
        std::optional<Envelope> next;
        bool written = false; // the message is on its way
        bool writeFailed = false;
        bool endWritten = false; // its final dot reached the connection
        bool ahead = false;      // the next envelope went with it
    };

    // *forNow: the server refused the login for the time being.
    QString openSession(bool *forNow);
    QString login(bool *forNow);
    QString cantConnect(const QString &detail) const;
    QString lost(const ServerReply &reply) const;
    // The longest wait RFC 5321 gives for a step, or the user's shorter one.
    int limitMs(int rfcSeconds) const;
    bool sendable(const Envelope &e) const;
    // The address as this server takes it: in Unicode where it offers
    // SMTPUTF8, else with the domain in ASCII.
    const QByteArray &wireOf(const MailAddress &a) const;
    QByteArray envelopeCommands(const Envelope &e) const;
    // Replies to MAIL, RCPT and DATA, each within its own limit.
    ServerReply readEnvelopeReply(int index);
    // A reply before a message's data, within limit (ms); after a refusal,
    // one that lags behind is not waited for (m_lagging).
    ServerReply timedReply(int limit);
    bool fits(qint64 size) const { return m_sizeLimit <= 0 || size <= m_sizeLimit; }
    // The server has begun to punish this session's errors, or soon will.
    bool freshSessionDue() const { return m_refusedHere >= kRefusalsPerSession || m_lagging; }
    // QUIT without waiting for the reply, which such a server holds back.
    void leaveSession();
    // Drops a staged envelope the run did not send after all.
    void discardStaged();
    // MAIL, RCPT and DATA for an envelope not sent ahead; false when the
    // connection failed before the server answered anything.
    bool sendEnvelope(const Envelope &e, QList<ServerReply> *replies, ServerReply *failure);
    // Ends a transaction the server refused.
    MessageResult finishRefused(const ServerReply &refusal, const QList<ServerReply> &replies);
    // The whole transaction of a message whose envelope did not go ahead.
    MessageResult sendWhole();
    // The message, its end, and the next envelope when there is one; false
    // when it did not all go (endWritten tells how far it got).
    bool writeMessage();
    // The reply to the message's end, and to the envelope that went with it.
    MessageResult readOutcome();
    void closeSession();

    // A message sent with BDAT in a window, and its result where it is
    // known without reading replies (the session failed before or after it).
    struct InFlight {
        std::optional<MessageResult> result;
        bool reset = false;      // RSET went before its MAIL
        bool endWritten = false; // all of it reached the connection
    };
    // Sends the message at once when the session takes a window; false
    // leaves it to the one-at-a-time path.
    bool startChunked(const Envelope &envelope, const QByteArray &message);
    MessageResult finishChunked();
    // The session broke: every message still waiting for its replies gets
    // its result now.
    void settleInFlight(const QString &text);

    TransportSettings m_settings;
    std::unique_ptr<CurlConnection> m_conn;
    std::unique_ptr<CurlConnection> m_pop;
    bool m_pipelining = false;
    bool m_smtpUtf8 = false;
    bool m_sizeOffered = false; // MAIL FROM carries SIZE=
    qint64 m_sizeLimit = 0;     // 0: none named
    bool m_needsReset = false;  // a refused transaction is still open
    int m_refusedHere = 0;      // refused envelopes in this session
    bool m_lagging = false;
    qint64 m_quickestReplyMs = -1;
    std::unique_ptr<Staged> m_staged;
    std::unique_ptr<Pending> m_pending;
    bool m_chunking = false;    // this session sends messages with BDAT in a window
    bool m_openedAhead = false; // opened by startChunked for a message it left to sendWhole
    std::deque<InFlight> m_inFlight;
};
