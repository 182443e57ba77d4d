#pragma once
// Helpers the SMTP session and the POP3 check share.

#include "curlconnection.h"
#include "mailtransport.h"

#include <QByteArray>
#include <QString>

namespace transport {

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

} // namespace transport
