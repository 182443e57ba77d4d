#include "helloname.h"

#include <QByteArrayList>
#include <QHostAddress>
#include <arpa/inet.h>
#include <cctype>
#include <climits>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray lookUpFullyQualifiedName()
{
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0 || !host[0])
        return {};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo *found = nullptr;
    QByteArray canonical;
    if (getaddrinfo(host, nullptr, &hints, &found) == 0 && found) {
        if (found->ai_canonname)
            canonical = QByteArray(found->ai_canonname).toLower();
        freeaddrinfo(found);
    }
    if (isFullyQualified(canonical))
        return canonical;
    const QByteArray own = QByteArray(host).toLower();
    return isFullyQualified(own) ? own : QByteArray();
}

// The local address a connection to `to` would leave from. Connecting a
// datagram socket only looks the route up.
QHostAddress routeSource(const QHostAddress &to)
{
    sockaddr_storage remote{};
    socklen_t length = 0;
    if (to.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *in = reinterpret_cast<sockaddr_in *>(&remote);
        in->sin_family = AF_INET;
        in->sin_port = htons(25);
        in->sin_addr.s_addr = htonl(to.toIPv4Address());
        length = sizeof(sockaddr_in);
    } else if (to.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&remote);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(25);
        const Q_IPV6ADDR bytes = to.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        length = sizeof(sockaddr_in6);
    } else {
        return {};
    }
    const int fd = ::socket(remote.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    QHostAddress local;
    sockaddr_storage own{};
    socklen_t ownLength = sizeof own;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&remote), length) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&own), &ownLength) == 0)
        local.setAddress(reinterpret_cast<sockaddr *>(&own));
    ::close(fd);
    return local;
}

} // namespace

QByteArray fullyQualifiedHostName()
{
    static const QByteArray name = lookUpFullyQualifiedName();
    return name;
}

bool isFullyQualified(QByteArrayView name)
{
    if (name.endsWith('.'))
        name.chop(1);
    if (name.isEmpty() || name.size() > 253)
        return false;
    const QByteArrayList labels = name.toByteArray().toLower().split('.');
    if (labels.size() < 2 || labels.first() == "localhost" || labels.last() == "localdomain")
        return false;
    for (const QByteArray &label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith('-') || label.endsWith('-'))
            return false;
        for (char c : label)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-'))
                return false;
    }
    return true;
}

QByteArray addressLiteral(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        return "[" + QHostAddress(v4).toString().toLatin1() + "]";
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return {};
    QHostAddress bare = address;
    bare.setScopeId(QString());
    return "[IPv6:" + bare.toString().toLatin1() + "]";
}

QByteArray probableLocalLiteral(const QString &host)
{
    QHostAddress to;
    // A name is resolved by the connection itself; the default route is
    // where most servers are reached (a documentation address, RFC 5737).
    if (!to.setAddress(host.trimmed()))
        to.setAddress(QStringLiteral("198.51.100.1"));
    return addressLiteral(routeSource(to));
}
