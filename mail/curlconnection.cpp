#include "curlconnection.h"

#include "cafile.h"
#include "curlconnection_p.h"
#include "helloname.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QUrl>
#include <atomic>
#include <cctype>
#include <cstring>
#include <curl/curl.h>
#include <functional>
#include <mutex>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Host part of a URL, or "" when the name can't be one.
QByteArray urlHost(const QString &host)
{
    const QString h = host.trimmed();
    if (h.isEmpty())
        return {};
    if (h.contains(QLatin1Char(':'))) {
        QHostAddress a;
        if (!a.setAddress(h) || a.protocol() != QAbstractSocket::IPv6Protocol)
            return {};
        return "[" + h.toLatin1() + "]";
    }
    const QByteArray ace = QUrl::toAce(h);
    if (ace.isEmpty())
        return {};
    for (char c : ace)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_'))
            return {};
    return ace;
}

bool startsWithWord(QByteArrayView line, QByteArrayView word)
{
    if (line.size() < word.size() || line.first(word.size()).compare(word, Qt::CaseInsensitive) != 0)
        return false;
    return line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '=';
}

} // namespace

void CurlConnection::State::onCommand(QByteArrayView line)
{
    line = line.trimmed();
    replyBytes = 0;
    inCapabilities = startsWithWord(line, "EHLO") || startsWithWord(line, "HELO") || startsWithWord(line, "CAPA");
    if (startsWithWord(line, "EHLO") || startsWithWord(line, "HELO"))
        helloVerb = line.first(4).toByteArray().toUpper();
    if (inCapabilities) {
        caps.clear();
        firstCapabilityLine = true;
    }
    if (startsWithWord(line, "STARTTLS") || startsWithWord(line, "STLS"))
        upgradeSent = true;
}

void CurlConnection::State::onReplyLine(QByteArrayView raw)
{
    QByteArrayView line = raw;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    replyBytes += raw.size();
    if (raw.size() > kMaxLine || replyBytes > kMaxReply) {
        if (!overflow && socket != CURL_SOCKET_BAD)
            ::shutdown(socket, SHUT_RDWR);
        overflow = true;
        return;
    }
    lastLine = line.toByteArray();
    greeted = true;
    const bool smtp = protocol == MailProtocol::Smtp;
    if (upgradeSent && !upgradeAnswered) {
        upgradeAccepted = smtp ? line.startsWith("220") : line.startsWith("+OK");
        upgradeAnswered = !smtp || line.size() < 4 || line[3] != '-';
        return;
    }
    if (!inCapabilities)
        return;
    if (firstCapabilityLine) {
        // The EHLO reply opens with the server's name, CAPA with "+OK".
        firstCapabilityLine = false;
        inCapabilities = smtp ? line.startsWith("250-") : line.startsWith("+OK");
        return;
    }
    QByteArrayView cap;
    if (smtp) {
        if (line.size() < 4 || !line.startsWith("250"))
            return;
        cap = line.sliced(4).trimmed();
    } else {
        if (line == ".") {
            inCapabilities = false;
            return;
        }
        cap = line.trimmed();
    }
    if (caps.size() < 200)
        caps.append(cap.toByteArray());
    if (startsWithWord(cap, "STARTTLS") || startsWithWord(cap, "STLS"))
        tlsOffered = true;
}

namespace {

int debugCallback(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    auto *s = static_cast<CurlConnection::State *>(userp);
    if (type == CURLINFO_HEADER_OUT)
        s->onCommand(QByteArrayView(data, static_cast<qsizetype>(size)));
    else if (type == CURLINFO_HEADER_IN)
        s->onReplyLine(QByteArrayView(data, static_cast<qsizetype>(size)));
    return 0;
}

int socketCallback(void *userp, curl_socket_t fd, curlsocktype)
{
    auto *s = static_cast<CurlConnection::State *>(userp);
    s->socket = fd;
    if (s->onSocket)
        s->onSocket(fd);
    return CURL_SOCKOPT_OK;
}

// Ends libcurl's part (resolving, connecting, the greeting, TLS) when the
// user stops.
int progressCallback(void *userp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *s = static_cast<CurlConnection::State *>(userp);
    return s->aborted && s->aborted->load() ? 1 : 0;
}

// The TLS version and the server's chain, taken from OpenSSL as its
// handshake ends: libcurl hands the connection's TLS object out only while
// a transfer runs, and a connection opened to talk on ourselves has none.
int stateIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

void handshakeInfo(const SSL *ssl, int where, int)
{
    if (!(where & SSL_CB_HANDSHAKE_DONE))
        return;
    auto *s = static_cast<CurlConnection::State *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), stateIndex()));
    if (!s)
        return;
    s->tlsVersion = QString::fromLatin1(SSL_get_version(ssl));
    s->peerChain.clear();
    // On the client's side the chain starts with the server's own.
    STACK_OF(X509) *certs = SSL_get_peer_cert_chain(const_cast<SSL *>(ssl));
    for (int i = 0; certs && i < sk_X509_num(certs); ++i) {
        X509 *x = sk_X509_value(certs, i);
        const int length = i2d_X509(x, nullptr);
        if (length <= 0)
            continue;
        QByteArray der(length, Qt::Uninitialized);
        unsigned char *p = reinterpret_cast<unsigned char *>(der.data());
        i2d_X509(x, &p);
        s->peerChain << der;
    }
}

CURLcode sslContextCallback(CURL *, void *context, void *userp)
{
    auto *ctx = static_cast<SSL_CTX *>(context);
    SSL_CTX_set_ex_data(ctx, stateIndex(), userp);
    SSL_CTX_set_info_callback(ctx, handshakeInfo);
    return CURLE_OK;
}

// The system's trusted certificates and the extra ones, as one PEM blob.
bool caBundleWith(const QString &extraFile, QByteArray *blob, QString *error)
{
    // A key where certificates belong trusts nothing; it is said so.
    *error = caFileProblem(extraFile);
    if (!error->isEmpty())
        return false;
    QFile extra(extraFile);
    if (!extra.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("certificate file not readable: ") + extraFile;
        return false;
    }
    blob->clear();
    const curl_version_info_data *info = curl_version_info(CURLVERSION_NOW);
    if (info && info->cainfo) {
        QFile system(QString::fromLocal8Bit(info->cainfo));
        if (system.open(QIODevice::ReadOnly))
            *blob = system.readAll() + '\n';
    }
    *blob += extra.readAll();
    return true;
}

} // namespace

CurlConnection::CurlConnection() : d(std::make_unique<State>()), m_abort(std::make_unique<Abort>()) {}

CurlConnection::~CurlConnection()
{
    close();
}

QString CurlConnection::open(const Options &o)
{
    if (!o.pinnedKeys.isEmpty()) {
        const QString failure = openWith(o, Trust::Pinned);
        if (failure.isEmpty() || !d->pinMismatch)
            return failure;
        // Another key than the trusted ones: a chain that verifies will do.
    }
    const QString failure = openWith(o, Trust::Verified);
    if (d->certificateRefused && o.untrusted && !m_abort->requested)
        reportUntrusted(o);
    return failure;
}

namespace {

// libcurl's codes for TLS that did not come about.
bool tlsFailure(CURLcode rc)
{
    switch (rc) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_ENGINE_INITFAILED: return true;
    default: return false;
    }
}

} // namespace

QString CurlConnection::openWith(const Options &o, Trust trust)
{
    close();
    globalInit();
    State &s = *d;
    s = State();
    const QByteArray host = urlHost(o.host);
    if (host.isEmpty())
        return QStringLiteral("invalid server name");
    if (o.port <= 0 || o.port > 65535)
        return QStringLiteral("invalid port");

    if (m_abort->requested)
        return QStringLiteral("stopped");
    s.protocol = o.protocol;
    s.implicitTls = o.implicitTls;
    s.timeoutMs = o.replySeconds * 1000;
    s.aborted = &m_abort->requested;
    s.onSocket = [a = m_abort.get()](curl_socket_t fd) { a->setSocket(fd); };
    s.handle = curl_easy_init();
    if (!s.handle)
        return QStringLiteral("the mail library could not start");
    CURL *h = s.handle;
    const bool smtp = o.protocol == MailProtocol::Smtp;
    const QByteArray scheme = smtp ? (o.implicitTls ? "smtps" : "smtp") : (o.implicitTls ? "pop3s" : "pop3");
    // libcurl greets with the URL's path, the bare host name when it is
    // empty. Without a fully qualified name, the local end's address
    // literal: the likely one now, checked once connected.
    QByteArray hello = o.helloName;
    if (smtp && hello.isEmpty())
        hello = probableLocalLiteral(o.host);
    if (smtp && hello.isEmpty())
        hello = "[127.0.0.1]";
    const QByteArray url = scheme + "://" + host + ":" + QByteArray::number(o.port) + "/"
                           + (smtp ? QUrl::toPercentEncoding(QString::fromLatin1(hello)) : QByteArray());
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    // TRY: STARTTLS/STLS whenever offered. libcurl would go on in clear after
    // a refused upgrade; it holds no credentials, and open() fails then.
    // ALL: a server that does not offer it is left before anything is sent.
    curl_easy_setopt(h, CURLOPT_USE_SSL,
                     static_cast<long>(o.implicitTls || o.upgradeRequired ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    const bool verify = trust == Trust::Verified;
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
    const QByteArray pins = o.pinnedKeys.toLatin1();
    if (trust == Trust::Pinned)
        curl_easy_setopt(h, CURLOPT_PINNEDPUBLICKEY, pins.constData());
    if (!o.extraCaFile.isEmpty()) {
        QString error;
        if (!caBundleWith(o.extraCaFile, &s.caBlob, &error)) {
            close();
            return error;
        }
        curl_blob blob{s.caBlob.data(), static_cast<size_t>(s.caBlob.size()), CURL_BLOB_NOCOPY};
        curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(o.connectSeconds));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(o.replySeconds));
    // Greeting, capabilities, upgrade and capabilities again.
    curl_easy_setopt(h, CURLOPT_TIMEOUT, static_cast<long>(o.connectSeconds + 4 * o.replySeconds));
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progressCallback);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &s);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, s.errorBuffer);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, debugCallback);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &s);
    curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, socketCallback);
    curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, &s);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, sslContextCallback);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, &s);

    const CURLcode rc = curl_easy_perform(h);
    char *ip = nullptr;
    long port = 0;
    if (curl_easy_getinfo(h, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip && *ip
        && curl_easy_getinfo(h, CURLINFO_PRIMARY_PORT, &port) == CURLE_OK && port > 0)
        s.peer = QHostAddress(QString::fromLatin1(ip)).protocol() == QAbstractSocket::IPv6Protocol
                     ? QStringLiteral("[%1]:%2").arg(QString::fromLatin1(ip)).arg(port)
                     : QStringLiteral("%1:%2").arg(QString::fromLatin1(ip)).arg(port);
    s.pinMismatch = rc == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
    s.certificateRefused = rc == CURLE_PEER_FAILED_VERIFICATION;
    const QString library = serverText(s.errorBuffer[0] ? s.errorBuffer : curl_easy_strerror(rc));
    QString failure;
    if (m_abort->requested)
        failure = QStringLiteral("stopped");
    else if (s.overflow)
        failure = QStringLiteral("reply too long");
    else if (rc == CURLE_PEER_FAILED_VERIFICATION || rc == CURLE_SSL_PINNEDPUBKEYNOTMATCH)
        failure = QStringLiteral("the server's certificate is not trusted: ") + library;
    else if (rc == CURLE_USE_SSL_FAILED && !s.upgradeSent)
        failure = smtp ? QStringLiteral("the server offers no STARTTLS") : QStringLiteral("the server offers no STLS");
    else if (rc == CURLE_USE_SSL_FAILED || (rc == CURLE_OK && s.tlsOffered && !isEncrypted()))
        failure = QStringLiteral("the server offers TLS but refused it: ") + serverText(s.lastLine);
    else if (tlsFailure(rc))
        failure = QStringLiteral("TLS handshake failed: ") + library;
    else if (rc != CURLE_OK)
        failure = s.lastLine.size() >= 3 && (s.lastLine[0] == '4' || s.lastLine[0] == '5' || s.lastLine[0] == '-')
                      ? serverText(s.lastLine)
                      : library;
    else if (curl_easy_getinfo(h, CURLINFO_ACTIVESOCKET, &s.socket) != CURLE_OK || s.socket == CURL_SOCKET_BAD)
        failure = QStringLiteral("no connection");
    if (!failure.isEmpty()) {
        const bool tls = tlsFailure(rc) || (rc == CURLE_OK && s.tlsOffered && !isEncrypted());
        s.stage = tls ? Stage::Tls : s.greeted || !s.peer.isEmpty() ? Stage::Greeting : Stage::Connect;
        close();
        return failure;
    }
    // From here on the dialogue is ours; libcurl need not show it.
    curl_easy_setopt(h, CURLOPT_VERBOSE, 0L);
    m_abort->setSocket(s.socket);
    s.open = true;
    s.stage = Stage::Ready;
    s.pinned = trust == Trust::Pinned && isEncrypted();
    // Only a connection that talks on: a read of the certificate says nothing.
    if (smtp && o.helloName.isEmpty() && trust != Trust::ReadOnly) {
        char *local = nullptr;
        const QByteArray actual = curl_easy_getinfo(h, CURLINFO_LOCAL_IP, &local) == CURLE_OK && local
                                      ? addressLiteral(QHostAddress(QString::fromLatin1(local)))
                                      : QByteArray();
        if (!actual.isEmpty() && actual != hello)
            failure = greetAgain(actual);
        if (!failure.isEmpty()) {
            s.stage = Stage::Greeting;
            close();
            return failure;
        }
    }
    return {};
}

QString CurlConnection::greetAgain(const QByteArray &name)
{
    const QByteArray verb = d->helloVerb.isEmpty() ? QByteArray("EHLO") : d->helloVerb;
    const QByteArray command = verb + ' ' + name;
    if (!sendAll(command + "\r\n"))
        return QStringLiteral("connection lost");
    QByteArrayList lines;
    const ServerReply r = readReply(-1, &lines);
    if (!r.complete())
        return r.status == ServerReply::TooLong ? QStringLiteral("reply too long")
                                                : QStringLiteral("no answer to ") + QString::fromLatin1(verb);
    if (!r.positive())
        return serverText(r.text);
    d->onCommand(command);
    for (const QByteArray &line : lines)
        d->onReplyLine(line);
    return {};
}

void CurlConnection::reportUntrusted(const Options &o) const
{
    CurlConnection reader;
    if (!reader.openWith(o, Trust::ReadOnly).isEmpty())
        return;
    const QList<QByteArray> chain = reader.peerCertificates();
    reader.close();
    const std::optional<CertificateDetails> details = chain.isEmpty() ? std::nullopt : certificateDetails(chain[0]);
    if (!details)
        return;
    UntrustedCertificate c;
    c.protocol = o.protocol;
    c.host = o.host.trimmed();
    c.port = o.port;
    c.reasons = untrustedReasons(chain, c.host, o.extraCaFile, &c.otherFault);
    if (!o.pinnedKeys.isEmpty())
        c.reasons |= UntrustedCertificate::NotThePinned;
    c.certificate = *details;
    o.untrusted->put(c);
}

void CurlConnection::close()
{
    m_abort->setSocket(CURL_SOCKET_BAD);
    if (d->handle)
        curl_easy_cleanup(d->handle);
    d->handle = nullptr;
    d->open = false;
    d->socket = CURL_SOCKET_BAD;
    d->in.clear();
    d->pos = d->scan = 0;
}

bool CurlConnection::isOpen() const
{
    return d->open;
}

bool CurlConnection::isEncrypted() const
{
    return d->implicitTls || d->upgradeAccepted;
}

CurlConnection::Stage CurlConnection::stage() const
{
    return d->stage;
}

QString CurlConnection::peerAddress() const
{
    return d->peer;
}

bool CurlConnection::trustedByPin() const
{
    return d->pinned;
}

QString CurlConnection::tlsVersion() const
{
    return d->open && isEncrypted() ? d->tlsVersion : QString();
}

QList<QByteArray> CurlConnection::peerCertificates() const
{
    return d->open && isEncrypted() ? d->peerChain : QList<QByteArray>();
}

bool CurlConnection::isLoopback() const
{
    char *ip = nullptr;
    if (!d->handle || curl_easy_getinfo(d->handle, CURLINFO_PRIMARY_IP, &ip) != CURLE_OK || !ip)
        return false;
    return QHostAddress(QString::fromLatin1(ip)).isLoopback();
}

const QByteArrayList &CurlConnection::capabilities() const
{
    return d->caps;
}

QByteArrayList CurlConnection::capability(QByteArrayView keyword, bool *found) const
{
    for (const QByteArray &cap : d->caps) {
        if (!startsWithWord(cap, keyword))
            continue;
        if (found)
            *found = true;
        QByteArrayList words = cap.mid(keyword.size() + 1).toUpper().simplified().split(' ');
        words.removeAll(QByteArray());
        return words;
    }
    if (found)
        *found = false;
    return {};
}
