#pragma once
// One run's way to the mail servers: the POP3 check before sending (POP
// before SMTP) and one SMTP session that sends the run's messages one after
// the other. The send run owns one for the run; the program uses
// CurlTransport, the tests of the run a fake.

#include "mailaddress.h"
#include "signin.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

class UntrustedCertificateSink;

struct TransportSettings {
    QString host;
    int smtpPort = 25;
    bool smtpImplicitTls = false;      // TLS from the first byte (port 465)
    bool smtpStartTlsRequired = false; // a server without STARTTLS gets nothing
    int pop3Port = 110;
    bool pop3ImplicitTls = false; // POP3S (port 995)
    bool pop3StlsRequired = false;
    bool smtpAuth = false; // log in to the SMTP server
    QString user;
    QString password;
    // Messages in flight on one connection where the server offers CHUNKING
    // and PIPELINING (BDAT, RFC 3030); 1 keeps one message at a time.
    int sendWindow = 1;
    // Credentials may travel unencrypted to a server that offers no TLS.
    // Loopback servers are always allowed; a server that offers STARTTLS or
    // STLS never gets them in clear, whatever this says.
    bool allowCleartextPassword = false;
    // 0: every wait as long as RFC 5321 allows (a reply to the message's end
    // up to 10 minutes); otherwise no wait longer than this.
    int timeoutSeconds = 0;
    QString extraCaFile; // PEM certificates trusted beside the system's
    // The domain of EHLO; "": the host's fully qualified name, or the address
    // literal of the connection's local end where it has none.
    QString helloName;
    QString pinnedKeys; // public keys the user trusts, "sha256//...;sha256//..."
    // Told what a certificate that was not trusted says.
    std::shared_ptr<UntrustedCertificateSink> untrustedCertificates;
    // OAuth 2.0 in place of the password: SASL XOAUTH2 (or OAUTHBEARER)
    // with the access token, under the same TLS rules. renewToken, when set,
    // gives a fresh token once, after the server refused the first.
    bool oauth = false;
    QString accessToken{};
    std::function<AccessToken()> renewToken{};
};

// The envelope of one message.
struct Envelope {
    MailAddress from;
    MailAddress to;
    qint64 size = 0; // the message's octets, or an estimate of them (0: unknown)
    bool operator==(const Envelope &o) const { return from.wire == o.from.wire && to.wire == o.to.wire; }
};

// What became of one message. The texts keep the meaning the run relies
// on: "Cant connect Server" when the server could not be reached, TLS failed
// or it can't be used safely, "AUTH LOGIN" when it refused the login.
struct MessageResult {
    enum class Kind {
        Accepted,
        Refused,   // the server's reply, or the client's own reason
        NotSent,   // the connection failed before the message's end went out
        Uncertain, // its end went out and no reply came: it may have arrived
        Unusable,  // the server can't be reached or used: the run stops
        // The server refused the login for the time being (4xx): tried
        // again like a temporary refusal, then the run stops.
        UnusableForNow,
        // Larger than the server takes (its SIZE); nothing went.
        TooLarge,
    };
    Kind kind = Kind::Refused;
    QString text; // "" when accepted

    bool accepted() const { return kind == Kind::Accepted; }
    // A refusal for the time being (a 4xx reply), or a failure before the
    // message went: worth trying again.
    bool temporary() const;
    // The server is closing or can't carry the session (421, or the
    // connection failed): counts toward giving the run up.
    bool serverTrouble() const;

    // "" accepted; a text with "Cant connect Server" or "AUTH LOGIN"
    // unusable; any other text refused.
    static MessageResult fromReply(const QString &reply);
    static MessageResult make(Kind kind, const QString &text) { return {kind, text}; }
};

class MailTransport {
public:
    virtual ~MailTransport() = default;

    // Logs in to the POP3 server and asks STAT: a QVariantList {message
    // count, total size} on success, the error text (QString) otherwise.
    virtual QVariant checkPop() = 0;

    // Sends one message (as built by mime::MessageBuilder: CR LF line ends,
    // no line starting with a dot, no final dot) in two steps: start() may
    // already put it on its way, finish() completes it and gives the result.
    // Between the two the caller can prepare its next message while the
    // server works. The session opens on the first message. `next` is the
    // envelope the run sends after this one, if it knows it: the transport
    // may send it ahead with this message's end.
    virtual void start(const Envelope &envelope, const QByteArray &message, const Envelope *next) = 0;
    virtual MessageResult finish() = 0;
    MessageResult send(const Envelope &envelope, const QByteArray &message, const Envelope *next)
    {
        start(envelope, message, next);
        return finish();
    }

    // How many messages the run may start before finishing the first; the
    // results of finish() then come in the order of start().
    virtual int window() const { return 1; }

    // Says goodbye and closes the session, if any.
    virtual void end() = 0;

    // The largest message the server takes, as its EHLO said (SIZE); 0 when
    // it names none or no session was opened yet.
    virtual qint64 sizeLimit() const { return 0; }

    // From any thread: ends every wait at once and closes the connection;
    // the message in flight ends NotSent, or Uncertain when its end had gone.
    virtual void abort() = 0;

    // Called just before the data of the message given to start() is handed
    // to the connection (the run marks it in its journal there); false
    // holds the message back, and it ends NotSent.
    std::function<bool()> beforeData;

protected:
    bool dataMayGo() { return !beforeData || beforeData(); }
};
