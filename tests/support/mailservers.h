#pragma once
// Real mail servers on loopback for tests, each on a free port and stopped
// when the object goes (or its test process ends).
//
// SMTP (Debian's python3-aiosmtpd, run by /usr/bin/python3):
//     SmtpTestServer smtp;
//     QVERIFY2(smtp.start(SmtpTestServer::Mode::Auth, "user", "secret"), qPrintable(smtp.error()));
//     ... send to 127.0.0.1:smtp.port() ...
//     const QList<ReceivedMail> got = smtp.messages();   // in arrival order
//     got[0].subject, got[0].text, got[0].attachments[0].bytes ...
//   Modes: Plain (no AUTH), Auth (AUTH PLAIN/LOGIN required, user + password),
//   StartTls (STARTTLS required, throw-away certificate for 127.0.0.1 and
//   localhost in caFile(); give it to the client as its trusted CA; with a
//   user and password, AUTH is required too, after STARTTLS), ImplicitTls
//   (TLS from the first byte, as on port 465, same certificate), OAuth (AUTH
//   XOAUTH2 required: start(Mode::OAuth, userinfoUrl, options) checks each
//   token at the authorisation server's userinfo endpoint and takes it when
//   it belongs to the user named; options "oauthbearer" offers OAUTHBEARER
//   instead, "refuse-first" refuses the first token whatever it is).
//   refuseRecipient(address, reply) before start(): RCPT TO that address gets
//   the reply (e.g. "550 5.1.1 <x@example.jp>: unknown user").
//   EHLO offers PIPELINING unless setPipelining(false) was called before start().
//   setCertificateNames({"DNS:localhost"}) before start(): the throw-away
//   certificate is made for those names only (a certificate for another
//   name than 127.0.0.1). Each start makes a new key.
//
// POP3 (Debian's dovecot-pop3d with a throw-away configuration):
//     Pop3TestServer pop;
//     QVERIFY2(pop.start("user", "secret"), qPrintable(pop.error()));
//     ... log in at 127.0.0.1:pop.port() ...

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

struct ReceivedAttachment {
    QString fileName;
    QByteArray bytes;
    QString contentType; // the Content-Type header as sent
};

struct ReceivedMail {
    QString envelopeFrom;   // MAIL FROM
    QStringList envelopeTo; // RCPT TO, in order
    QString from;           // decoded From header, e.g. "送信者 <a@b.jp>"
    QString to;             // decoded To header
    QString subject;        // decoded Subject header
    QString text;           // decoded text/plain body
    QList<ReceivedAttachment> attachments;
    QStringList headerNames; // top-level header names, in order
    QByteArray raw;          // the message as received
};

class SmtpTestServer {
public:
    enum class Mode { Plain, Auth, StartTls, ImplicitTls, OAuth };

    SmtpTestServer();
    ~SmtpTestServer();

    void refuseRecipient(const QString &address, const QString &reply);
    // The first RCPT TO that address gets the reply, later ones are taken.
    void refuseRecipientOnce(const QString &address, const QString &reply);
    // Whether EHLO offers PIPELINING (it does unless switched off before start).
    void setPipelining(bool on) { m_pipelining = on; }
    // Whether EHLO offers SMTPUTF8 (it does unless switched off before start).
    void setSmtpUtf8(bool on) { m_smtpUtf8 = on; }
    // The subjectAltName entries of the TLS modes' certificate.
    void setCertificateNames(const QStringList &names) { m_certificateNames = names; }
    bool start(Mode mode = Mode::Plain, const QString &user = {}, const QString &password = {});
    void stop();
    bool isRunning() const;

    int port() const { return m_port; }
    QString caFile() const { return m_caFile; }
    QString error() const { return m_error; }

    QList<ReceivedMail> messages() const;
    int messageCount() const;
    // OAuth mode: each login, {"mechanism", "user", "ok"}, in order.
    QList<QJsonObject> authAttempts() const;
    // TCP connections the server has accepted so far.
    int connectionCount() const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_proc;
    QStringList m_refusals;
    bool m_pipelining = true;
    bool m_smtpUtf8 = true;
    QStringList m_certificateNames = {QStringLiteral("DNS:localhost"), QStringLiteral("IP:127.0.0.1")};
    int m_port = 0;
    QString m_caFile;
    QString m_error;
};

class Pop3TestServer {
public:
    Pop3TestServer();
    ~Pop3TestServer();

    // Stls: STLS offered (and TLS then required by the client); Implicit:
    // POP3S, TLS from the first byte. Either way with a throw-away
    // certificate in caFile().
    enum class Tls { None, Stls, Implicit };
    bool start(const QString &user, const QString &password, Tls tls = Tls::None);
    // Before start(): logins by AUTH XOAUTH2 or OAUTHBEARER only, each token
    // checked at the authorisation server's userinfo endpoint (Dovecot's
    // oauth2 passdb); the user and password of start() are not used.
    void setOAuth(const QString &userinfoUrl) { m_userinfoUrl = userinfoUrl; }
    void stop();
    QString caFile() const { return m_caFile; }
    // After start(): puts a message in the user's mailbox as a delivery
    // would; the names of the messages the mailbox holds.
    bool deliver(const QString &user, const QString &name, const QByteArray &message);
    QStringList mailbox(const QString &user) const;

    int port() const { return m_port; }
    QString error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_proc;
    int m_port = 0;
    QString m_caFile;
    QString m_error;
    QString m_userinfoUrl;
};

// A TCP port on 127.0.0.1 that nothing listens on (for "unreachable").
int unusedLoopbackPort();

// A throw-away certificate for 127.0.0.1 and localhost: cert.pem and
// key.pem in the folder. False when openssl failed.
bool makeTestCertificate(const QString &folder);

// The misbehaving server of scriptedserver.py (see there for its modes),
// one connection at a time; it reports what it saw.
class ScriptedServer {
public:
    ~ScriptedServer();
    bool start(const QString &mode, double trickleSeconds = 0.3,
               const QString &bindAddress = QStringLiteral("127.0.0.1"));
    int port() const { return m_port; }
    QString error() const { return m_error; }
    // Lines of credentials it received (AUTH, USER, PASS).
    QStringList credentials() const;
    // Bytes of its flood or trickle that it got out.
    qint64 bytesSent() const;
    // For each message it received: whether the next command came with its end.
    QList<bool> pipelined() const;

private:
    QList<QJsonObject> events() const;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_proc;
    int m_port = 0;
    QString m_error;
};

// A proxy in front of a POP3 server (popcut.py): its first connection
// fails at the client's nth RETR, after the first bytes of the answer,
// closed ("cut") or never going on ("stall"); later connections pass.
class PopCutProxy {
public:
    ~PopCutProxy();
    bool start(int targetPort, const QString &mode, int nth);
    int port() const { return m_port; }
    QString error() const { return m_error; }
    // It has cut or stalled.
    bool hasActed() const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_proc;
    int m_port = 0;
    QString m_error;
};
