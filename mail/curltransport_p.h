#pragma once
// Helpers the SMTP session and the POP3 check share.

#include "curlconnection.h"
#include "mailtransport.h"

#include <QByteArray>
#include <QString>

namespace transport {

// RFC 5321 4.5.3.2: the longest a client waits for each step.
constexpr int kConnectSeconds = 60; // TCP and TLS; the RFC leaves it open
constexpr int kCommandSeconds = 300;
constexpr int kDataSeconds = 120;
constexpr int kDataBlockSeconds = 180; // without progress
constexpr int kFinalDotSeconds = 600;

// How long a goodbye may take: the work is done by then.
constexpr int kGoodbyeMs = 2000;

// The server's text, or what stands for it when there is none.
QString fromServer(const QByteArray &bytes);
QString tooLongText();
bool hasLineBreak(const QString &text);
CurlConnection::Options connectionOptions(const TransportSettings &s, MailProtocol protocol);
// Credentials go over TLS, to a loopback server, or in clear where the
// account allows it.
bool mayLogIn(const CurlConnection &c, const TransportSettings &s);
QString clearTextRefusal();
// USER and PASS, AUTH PLAIN or OAuth, as the server offers: "" when logged
// in, else why not; *connectionFault: the connection failed rather than the
// credentials.
QString pop3LogIn(CurlConnection &pop, TransportSettings &settings, bool *connectionFault);

} // namespace transport
