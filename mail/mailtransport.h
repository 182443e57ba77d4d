#pragma once
// One run's way to the mail servers: the POP3 check before sending (POP
// before SMTP) and one SMTP session that sends the run's messages one after
// the other. The send run owns one for the run; the program uses
// CurlTransport, the tests of the run a fake.
//
// Results keep the meaning the run relies on:
//  - "" : the server accepted the message;
//  - a text containing "Cant connect Server": the server could not be
//    reached, TLS failed, or it can't be used safely (the run stops);
//  - a text containing "AUTH LOGIN": the server refused the login (the run
//    stops);
//  - any other text: why this one message was refused (the server's reply,
//    or the client's own reason), the run goes on.

#include "mailaddress.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

struct TransportSettings {
    QString host;
    int smtpPort = 25;
    bool smtpImplicitTls = false; // TLS from the first byte (port 465)
    int pop3Port = 110;
    bool pop3ImplicitTls = false; // POP3S (port 995)
    bool smtpAuth = false;        // log in to the SMTP server
    QString user;
    QString password;
    // Credentials may travel unencrypted to a server that offers no TLS.
    // Loopback servers are always allowed; a server that offers STARTTLS or
    // STLS never gets them in clear, whatever this says.
    bool allowCleartextPassword = false;
    int timeoutSeconds = 60; // for connecting, and for each whole reply
    QString extraCaFile;     // PEM certificates trusted beside the system's
};

// The envelope of one message.
struct Envelope {
    MailAddress from;
    MailAddress to;
    bool operator==(const Envelope &o) const { return from.wire == o.from.wire && to.wire == o.to.wire; }
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
    virtual QString finish() = 0;
    QString send(const Envelope &envelope, const QByteArray &message, const Envelope *next)
    {
        start(envelope, message, next);
        return finish();
    }

    // Says goodbye and closes the session, if any.
    virtual void end() = 0;
};
