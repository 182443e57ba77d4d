#pragma once
// The SMTP/POP3 client the send run calls. Every text argument is a narrow
// string in code page 932, passed by reference, as the program has always
// handed them over.
//
// SendMail(server, recipient, sender, subject, body, attachments)
//   server      "host", or "host" TAB "port:timeout" (e.g. "mail.example.jp\t587:60")
//   recipient   "<address>"
//   sender      "name<address>", optionally TAB "user:password" for SMTP AUTH
//   subject     the subject line
//   body        the message text, CR LF line ends
//   attachments file paths joined by TAB, or ""
// Returns "" when the server accepted the message, otherwise an error text:
//   - the server could not be reached (or TLS failed): contains "Cant connect Server"
//   - the server refused the login: contains "AUTH LOGIN"
//   - any other refusal: the server's reply, e.g. "550 5.1.1 <x@y>: unknown user"
//
// Port 465 is implicit TLS; other ports switch to TLS with STARTTLS whenever
// the server offers it; certificates are verified; AUTH uses a mechanism the
// server offers. The connection is kept open between calls with the same
// server and sender, so a run of messages greets and logs in once; a refused
// message is followed by RSET on the same connection; with PIPELINING the
// envelope commands of a message travel together. bsmtpEndSession() says
// QUIT and closes it.
//
// RcvMail(server, user, password, "STAT", nullptr)
//   logs in to the POP3 server (POP3S when the POP3 port is 995) and returns
//   a QVariantList {message count, total size} on success, an error text
//   (QString) otherwise.

#include <QByteArray>
#include <QString>
#include <QVariant>

QByteArray SendMail(QByteArray &server, QByteArray &recipient, QByteArray &sender,
                    QByteArray &subject, QByteArray &body, QByteArray &attachments);
QVariant RcvMail(QByteArray &server, QByteArray &user, QByteArray &password,
                 QByteArray &command, QByteArray *unused);

// Sends QUIT on the kept SMTP connection, if any.
void bsmtpEndSession();

// Settings of the client for the whole process.
struct BsmtpOptions {
    int defaultSmtpPort = 25;   // when the server argument names no port
    int pop3Port = 110;         // 995 means POP3 over TLS
    int defaultTimeoutSeconds = 60;
    QString caBundle;           // extra trusted certificates (PEM); "" = system store
};
BsmtpOptions &bsmtpOptions();

// Pieces of the arguments, for the client and its tests.
struct SmtpServerArgument {
    QString host;
    int port = 0;        // 0: not given
    int timeout = 0;     // seconds; 0: not given
};
SmtpServerArgument parseServerArgument(const QString &server);

struct SenderArgument {
    QString name;
    QString address;
    QString user;
    QString password;
    bool hasLogin = false;
    bool valid = false;
};
SenderArgument parseSenderArgument(const QString &sender);
