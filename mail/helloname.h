#pragma once
// The name this machine gives in EHLO and HELO. Servers refuse a bare host
// name ("vm") or take it as a sign of a badly set up sender; what they
// accept is the fully qualified domain name, or where there is none, the
// address literal of the connection's local end (RFC 5321 4.1.3, 4.1.4).

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QHostAddress;

// The host's fully qualified name: its canonical name as the resolver gives
// it for the host name, or the host name itself, whichever has a dot; ""
// when neither has one. Looked up once per process.
QByteArray fullyQualifiedHostName();

// A domain EHLO may carry: labels of letters, digits and hyphens, at least
// two of them, and not a name of the local host ("localhost.localdomain").
bool isFullyQualified(QByteArrayView name);

// "[192.0.2.10]", "[IPv6:2001:db8::1]"; "" for a null address.
QByteArray addressLiteral(const QHostAddress &address);

// The address literal the local end will most likely have when connecting
// to host: the address the routing table picks for it when host is an
// address, for the default route otherwise. No packet is sent; "" when no
// route is known.
QByteArray probableLocalLiteral(const QString &host);
