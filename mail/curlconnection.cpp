#include "curlconnection.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QUrl>
#include <cctype>
#include <cstring>
#include <curl/curl.h>
#include <mutex>
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

// What libcurl's debug stream shows of the dialogue while it opens the
// connection: the capabilities, whether STARTTLS/STLS was offered and
// accepted, and the size of each reply. A reply over the limits makes the
// callback shut the socket, which ends libcurl's part at once.
struct CurlConnection::State {
    MailProtocol protocol = MailProtocol::Smtp;
    CURL *handle = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_socket_t socket = CURL_SOCKET_BAD;
    bool open = false;
    bool implicitTls = false;
    int timeoutMs = 60000;
    QByteArray caBlob;

    // Filled by the debug callback during open().
    QByteArrayList caps;
    bool inCapabilities = false;
    bool firstCapabilityLine = false;
    bool tlsOffered = false;
    bool upgradeSent = false;
    bool upgradeAnswered = false;
    bool upgradeAccepted = false;
    bool overflow = false;
    qsizetype replyBytes = 0;
    QByteArray lastLine;

    // Received and not yet read as replies; [pos, size) is unread and
    // [pos, scan) holds no line end.
    QByteArray in;
    qsizetype pos = 0;
    qsizetype scan = 0;

    void onCommand(QByteArrayView line);
    void onReplyLine(QByteArrayView line);
};

void CurlConnection::State::onCommand(QByteArrayView line)
{
    line = line.trimmed();
    replyBytes = 0;
    inCapabilities = startsWithWord(line, "EHLO") || startsWithWord(line, "HELO") || startsWithWord(line, "CAPA");
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
    static_cast<CurlConnection::State *>(userp)->socket = fd;
    return CURL_SOCKOPT_OK;
}

// The system's trusted certificates and the extra ones, as one PEM blob.
bool caBundleWith(const QString &extraFile, QByteArray *blob, QString *error)
{
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

CurlConnection::CurlConnection() : d(std::make_unique<State>()) {}

CurlConnection::~CurlConnection()
{
    close();
}

QString CurlConnection::open(const Options &o)
{
    close();
    globalInit();
    const QByteArray host = urlHost(o.host);
    if (host.isEmpty())
        return QStringLiteral("invalid server name");
    if (o.port <= 0 || o.port > 65535)
        return QStringLiteral("invalid port");

    State &s = *d;
    s = State();
    s.protocol = o.protocol;
    s.implicitTls = o.implicitTls;
    s.timeoutMs = o.timeoutSeconds * 1000;
    s.handle = curl_easy_init();
    if (!s.handle)
        return QStringLiteral("the mail library could not start");
    CURL *h = s.handle;
    const bool smtp = o.protocol == MailProtocol::Smtp;
    const QByteArray scheme = smtp ? (o.implicitTls ? "smtps" : "smtp") : (o.implicitTls ? "pop3s" : "pop3");
    const QByteArray url = scheme + "://" + host + ":" + QByteArray::number(o.port) + "/";
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    // TRY: STARTTLS/STLS whenever offered. libcurl would go on in clear after
    // a refused upgrade; it holds no credentials, and open() fails then.
    curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(o.implicitTls ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!o.extraCaFile.isEmpty()) {
        QString error;
        if (!caBundleWith(o.extraCaFile, &s.caBlob, &error)) {
            close();
            return error;
        }
        curl_blob blob{s.caBlob.data(), static_cast<size_t>(s.caBlob.size()), CURL_BLOB_NOCOPY};
        curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
    }
    const long timeout = o.timeoutSeconds;
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    // Greeting, capabilities, upgrade and capabilities again.
    curl_easy_setopt(h, CURLOPT_TIMEOUT, timeout * 3);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, s.errorBuffer);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, debugCallback);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &s);
    curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, socketCallback);
    curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, &s);

    const CURLcode rc = curl_easy_perform(h);
    QString failure;
    if (s.overflow)
        failure = QStringLiteral("reply too long");
    else if (rc != CURLE_OK)
        failure = s.lastLine.size() >= 3 && (s.lastLine[0] == '4' || s.lastLine[0] == '5' || s.lastLine[0] == '-')
                      ? QString::fromUtf8(s.lastLine)
                      : QString::fromUtf8(s.errorBuffer[0] ? s.errorBuffer : curl_easy_strerror(rc));
    else if (s.tlsOffered && !isEncrypted())
        failure = QStringLiteral("the server offers TLS but refused it: ") + QString::fromUtf8(s.lastLine);
    else if (curl_easy_getinfo(h, CURLINFO_ACTIVESOCKET, &s.socket) != CURLE_OK || s.socket == CURL_SOCKET_BAD)
        failure = QStringLiteral("no connection");
    if (!failure.isEmpty()) {
        close();
        return failure;
    }
    // From here on the dialogue is ours; libcurl need not show it.
    curl_easy_setopt(h, CURLOPT_VERBOSE, 0L);
    s.open = true;
    return {};
}

void CurlConnection::close()
{
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

namespace {

bool waitFor(curl_socket_t socket, bool forWrite, const QDeadlineTimer &deadline)
{
    const qint64 left = deadline.remainingTime();
    if (left <= 0)
        return false;
    pollfd p{};
    p.fd = socket;
    p.events = forWrite ? POLLOUT : POLLIN;
    return ::poll(&p, 1, static_cast<int>(std::min<qint64>(left, INT_MAX))) > 0;
}

} // namespace

bool CurlConnection::sendAll(QByteArrayView data)
{
    if (!d->open)
        return false;
    const QDeadlineTimer deadline(d->timeoutMs);
    qsizetype done = 0;
    while (done < data.size()) {
        size_t n = 0;
        const CURLcode rc = curl_easy_send(d->handle, data.data() + done, static_cast<size_t>(data.size() - done), &n);
        if (rc == CURLE_AGAIN) {
            if (!waitFor(d->socket, true, deadline))
                return false;
            continue;
        }
        if (rc != CURLE_OK)
            return false;
        done += static_cast<qsizetype>(n);
    }
    return true;
}

ServerReply CurlConnection::readReply(int timeoutMs)
{
    ServerReply r;
    if (!d->open)
        return r;
    State &s = *d;
    const QDeadlineTimer deadline(timeoutMs >= 0 ? timeoutMs : s.timeoutMs);
    qsizetype replySize = 0;
    for (;;) {
        const qsizetype nl = s.in.indexOf('\n', s.scan);
        if (nl >= 0) {
            QByteArrayView line(s.in.constData() + s.pos, nl - s.pos);
            s.pos = s.scan = nl + 1;
            replySize += line.size() + 1;
            if (line.size() + 1 > kMaxLine || replySize > kMaxReply) {
                r.status = ServerReply::TooLong;
                return r;
            }
            while (line.endsWith('\r'))
                line.chop(1);
            if (!r.text.isEmpty())
                r.text += ' ';
            r.text += line;
            bool last = true;
            if (s.protocol == MailProtocol::Smtp) {
                last = line.size() < 4 || line[3] != '-';
                if (last) {
                    const QByteArrayView digits = line.first(std::min<qsizetype>(3, line.size()));
                    bool ok = false;
                    r.code = digits.size() == 3 ? digits.toInt(&ok) : 0;
                    if (!ok)
                        r.code = 0;
                }
            } else {
                r.code = line.startsWith("+OK") ? 1 : -1;
            }
            if (last) {
                r.status = ServerReply::Complete;
                return r;
            }
            continue;
        }
        s.scan = s.in.size();
        if (s.in.size() - s.pos > kMaxLine) {
            r.status = ServerReply::TooLong;
            return r;
        }
        // Drop what was read, now and then, so the buffer stays small
        // without moving bytes on every reply.
        if (s.pos > 32 * 1024) {
            s.in.remove(0, s.pos);
            s.scan -= s.pos;
            s.pos = 0;
        }
        // In clear, nothing can wait for us above the socket, so waiting
        // first saves asking the socket in vain while the reply travels.
        // Over TLS, decrypted bytes may wait in the TLS layer: ask first.
        if (!isEncrypted() && !waitFor(s.socket, false, deadline)) {
            r.status = deadline.hasExpired() ? ServerReply::TimedOut : ServerReply::Closed;
            return r;
        }
        char buf[16384];
        size_t n = 0;
        const CURLcode rc = curl_easy_recv(s.handle, buf, sizeof buf, &n);
        if (rc == CURLE_AGAIN) {
            if (!waitFor(s.socket, false, deadline)) {
                r.status = deadline.hasExpired() ? ServerReply::TimedOut : ServerReply::Closed;
                return r;
            }
            continue;
        }
        if (rc != CURLE_OK || n == 0)
            return r;
        s.in.append(buf, static_cast<qsizetype>(n));
    }
}
