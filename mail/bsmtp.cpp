#include "bsmtp.h"

#include "mimemessage.h"
#include "textcodec.h"

#include <QDateTime>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <curl/curl.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <mutex>
#include <poll.h>

namespace {

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QString fromNarrow(const QByteArray &bytes)
{
    if (auto s = decodeCp932(bytes))
        return *s;
    return QString::fromLatin1(bytes);
}

// Code page 932 straight to UTF-8 for message text, with one converter kept
// for the whole process (the text of every message passes through here).
QByteArray narrowToUtf8(const QByteArray &bytes)
{
    static iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return fromNarrow(bytes).toUtf8();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    QByteArray out(bytes.size() * 3 / 2 + 16, Qt::Uninitialized);
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    size_t used = 0;
    while (inLeft > 0) {
        char *outPtr = out.data() + used;
        size_t outLeft = static_cast<size_t>(out.size()) - used;
        const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        used = static_cast<size_t>(outPtr - out.data());
        if (r == static_cast<size_t>(-1)) {
            if (errno != E2BIG)
                return fromNarrow(bytes).toUtf8();  // not CP932 after all
            out.resize(out.size() * 2);
        }
    }
    out.resize(static_cast<qsizetype>(used));
    return out;
}

// Local time for the Date header, looked up once a second: the lookup reads
// the time zone file each time.
QDateTime messageTime()
{
    static qint64 second = -1;
    static QDateTime when;
    const qint64 now = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (now != second) {
        second = now;
        when = QDateTime::currentDateTime();
    }
    return when;
}

// The server's replies as libcurl's debug stream shows them. Only the most
// recent complete reply is kept, its lines joined by blanks.
struct ReplyCapture {
    QByteArrayList lines;
    bool replyDone = true;
    bool linePerReply = false;  // POP3: every line is a whole reply
    int commandsSent = 0;
    int repliesReceived = 0;
    // The first refusal (4xx/5xx) of the exchange: libcurl may say more
    // (QUIT) after it, but this is the answer that matters.
    QByteArray refusal;
    bool pipelining = false;    // the last EHLO offered PIPELINING

    void reset()
    {
        lines.clear();
        replyDone = true;
        commandsSent = 0;
        repliesReceived = 0;
        refusal.clear();
    }
    QByteArray text() const { return refusal.isEmpty() ? lines.join(' ') : refusal; }
};

bool isServerRefusal(const QByteArray &reply)
{
    return reply.size() >= 3 && (reply[0] == '4' || reply[0] == '5')
        && std::isdigit(static_cast<unsigned char>(reply[1]))
        && std::isdigit(static_cast<unsigned char>(reply[2]));
}

int debugCallback(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    auto *c = static_cast<ReplyCapture *>(userp);
    if (type == CURLINFO_HEADER_OUT) {
        ++c->commandsSent;
        c->replyDone = true;
        if (size >= 4 && std::memcmp(data, "EHLO", 4) == 0)
            c->pipelining = false;
    } else if (type == CURLINFO_HEADER_IN) {
        QByteArray line(data, static_cast<qsizetype>(size));
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (c->replyDone) {
            c->lines.clear();
            ++c->repliesReceived;
        }
        if (line.size() >= 14 && line.startsWith("250") && line.mid(4).trimmed().toUpper() == "PIPELINING")
            c->pipelining = true;
        c->lines.append(line);
        c->replyDone = c->linePerReply || line.size() < 4 || line[3] != '-';
        if (c->replyDone && c->refusal.isEmpty() && !c->linePerReply && isServerRefusal(c->lines.first()))
            c->refusal = c->lines.join(' ');
    }
    return 0;
}

// Host part of a URL, or "" when the name can't be one.
QByteArray urlHost(const QString &host)
{
    const QString h = host.trimmed();
    if (h.isEmpty())
        return {};
    if (h.contains(QLatin1Char(':'))) {
        for (QChar c : h)
            if (!(c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'))
                  || c == QLatin1Char(':') || c == QLatin1Char('.')))
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

QByteArray cantConnect(const QString &host, int port, const QByteArray &detail)
{
    return "Cant connect Server (" + host.toUtf8() + ":" + QByteArray::number(port) + ": " + detail + ")";
}

bool isConnectFailure(CURLcode rc)
{
    switch (rc) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return true;
    default:
        return false;
    }
}

// One kept SMTP connection and what was prepared for the arguments of the
// previous call, so a run re-encodes only what changes per recipient.
// libcurl opens the connection (greeting, EHLO, STARTTLS, AUTH) and keeps
// it; the mail transactions on it are ours, so that with PIPELINING the
// envelope goes in one write and the message with its final dot in another.
struct SmtpSession {
    CURL *handle = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    ReplyCapture capture;
    bool connected = false;
    bool pipelining = false;
    curl_socket_t socket = CURL_SOCKET_BAD;
    int timeoutMs = 60000;
    QByteArray input;   // received, not yet read as replies

    QByteArray server, sender, subject, attachments;
    bool primed = false;
    bool configured = false;
    SmtpServerArgument srv;
    SenderArgument snd;
    QByteArray host;
    int port = 0;
    QByteArray senderError;
    QByteArray attachmentError;
    mime::MessageTemplate tpl;

    ~SmtpSession() { close(false); }
    void close(bool sayQuit);
};

SmtpSession &session()
{
    static SmtpSession s;
    return s;
}

enum class IoResult { Ok, Failed };

bool waitSocket(SmtpSession &s, bool forWrite)
{
    pollfd p{};
    p.fd = s.socket;
    p.events = forWrite ? POLLOUT : POLLIN;
    return ::poll(&p, 1, s.timeoutMs) > 0;
}

IoResult sendAll(SmtpSession &s, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        size_t n = 0;
        const CURLcode rc = curl_easy_send(s.handle, data.constData() + done,
                                           static_cast<size_t>(data.size() - done), &n);
        if (rc == CURLE_AGAIN) {
            if (!waitSocket(s, true))
                return IoResult::Failed;
            continue;
        }
        if (rc != CURLE_OK)
            return IoResult::Failed;
        done += static_cast<qsizetype>(n);
    }
    return IoResult::Ok;
}

// One whole reply (all its lines, joined by blanks); empty when the
// connection failed or timed out.
QByteArray readReply(SmtpSession &s)
{
    QByteArray reply;
    for (;;) {
        qsizetype nl;
        while ((nl = s.input.indexOf('\n')) >= 0) {
            QByteArray line = s.input.left(nl);
            s.input.remove(0, nl + 1);
            while (line.endsWith('\r'))
                line.chop(1);
            if (!reply.isEmpty())
                reply += ' ';
            reply += line;
            if (line.size() < 4 || line[3] != '-')
                return reply;
        }
        char buf[4096];
        size_t n = 0;
        const CURLcode rc = curl_easy_recv(s.handle, buf, sizeof buf, &n);
        if (rc == CURLE_AGAIN) {
            if (!waitSocket(s, false))
                return {};
            continue;
        }
        if (rc != CURLE_OK || n == 0)
            return {};
        s.input.append(buf, static_cast<qsizetype>(n));
    }
}

bool isPositive(const QByteArray &reply, char first)
{
    return !reply.isEmpty() && reply[0] == first;
}

void SmtpSession::close(bool sayQuit)
{
    if (handle && connected && sayQuit && sendAll(*this, "QUIT\r\n") == IoResult::Ok) {
        const int keep = timeoutMs;
        timeoutMs = std::min(timeoutMs, 2000);
        readReply(*this);
        timeoutMs = keep;
    }
    if (handle)
        curl_easy_cleanup(handle);
    handle = nullptr;
    connected = false;
    configured = false;
    socket = CURL_SOCKET_BAD;
    input.clear();
}

void configureSmtp(SmtpSession &s)
{
    const BsmtpOptions &o = bsmtpOptions();
    if (!s.handle) {
        s.handle = curl_easy_init();
        s.configured = false;
    }
    CURL *h = s.handle;
    const int timeout = s.srv.timeout > 0 ? s.srv.timeout : o.defaultTimeoutSeconds;
    s.timeoutMs = timeout * 1000;
    const QByteArray url = (s.port == 465 ? "smtps://" : "smtp://") + s.host + ":"
        + QByteArray::number(s.port);
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(s.port == 465 ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!o.caBundle.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, o.caBundle.toLocal8Bit().constData());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(timeout));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TCP_NODELAY, 1L);
    if (s.snd.hasLogin) {
        curl_easy_setopt(h, CURLOPT_USERNAME, s.snd.user.toUtf8().constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, s.snd.password.toUtf8().constData());
    } else {
        curl_easy_setopt(h, CURLOPT_USERNAME, nullptr);
        curl_easy_setopt(h, CURLOPT_PASSWORD, nullptr);
    }
    curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, s.errorBuffer);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, debugCallback);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &s.capture);
    s.configured = true;
}

// Why opening the connection (greeting, EHLO, STARTTLS, AUTH) failed.
QByteArray classifyConnect(SmtpSession &s, CURLcode rc)
{
    const QByteArray reply = s.capture.text();
    const QByteArray detail = s.errorBuffer[0] ? QByteArray(s.errorBuffer) : QByteArray(curl_easy_strerror(rc));
    if (rc == CURLE_LOGIN_DENIED)
        return "AUTH LOGIN failed (" + (reply.isEmpty() ? detail : reply) + ")";
    // Whatever else stops the handshake leaves a server this run can't use.
    return cantConnect(s.srv.host, s.port, isServerRefusal(reply) ? reply : detail);
}

bool connectSmtp(SmtpSession &s, QByteArray *error)
{
    if (!s.handle)
        configureSmtp(s);
    s.errorBuffer[0] = 0;
    s.capture.reset();
    s.capture.pipelining = false;
    const CURLcode rc = curl_easy_perform(s.handle);
    if (rc != CURLE_OK) {
        *error = classifyConnect(s, rc);
        s.close(false);
        return false;
    }
    curl_socket_t sock = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(s.handle, CURLINFO_ACTIVESOCKET, &sock) != CURLE_OK || sock == CURL_SOCKET_BAD) {
        *error = cantConnect(s.srv.host, s.port, "no connection");
        s.close(false);
        return false;
    }
    s.socket = sock;
    s.pipelining = s.capture.pipelining;
    s.connected = true;
    s.input.clear();
    return true;
}

struct Transaction {
    enum Kind { Accepted, Refused, Lost } kind = Lost;
    QByteArray reply;
    bool answered = false;  // the server said something before it was lost
};

// MAIL, RCPT, DATA and the message on the open connection. With PIPELINING
// the three commands go in one write; the message and its final dot always do.
Transaction transaction(SmtpSession &s, const QByteArray &mailFrom, const QByteArray &rcptTo,
                        const QByteArray &message)
{
    Transaction t;
    QByteArray rMail, rRcpt, rData;
    if (s.pipelining) {
        if (sendAll(s, mailFrom + rcptTo + "DATA\r\n") != IoResult::Ok)
            return t;
        if ((rMail = readReply(s)).isEmpty())
            return t;
        t.answered = true;
        if ((rRcpt = readReply(s)).isEmpty() || (rData = readReply(s)).isEmpty())
            return t;
    } else {
        if (sendAll(s, mailFrom) != IoResult::Ok || (rMail = readReply(s)).isEmpty())
            return t;
        t.answered = true;
        if (isPositive(rMail, '2')) {
            if (sendAll(s, rcptTo) != IoResult::Ok || (rRcpt = readReply(s)).isEmpty())
                return t;
            if (isPositive(rRcpt, '2')) {
                if (sendAll(s, "DATA\r\n") != IoResult::Ok || (rData = readReply(s)).isEmpty())
                    return t;
            }
        }
    }
    if (isPositive(rMail, '2') && isPositive(rRcpt, '2') && rData.startsWith("354")) {
        if (sendAll(s, message) != IoResult::Ok)
            return t;
        const QByteArray r = readReply(s);
        if (r.isEmpty())
            return t;
        t.kind = isPositive(r, '2') ? Transaction::Accepted : Transaction::Refused;
        t.reply = r;
        return t;
    }
    // Refused in the envelope. A server that took DATA all the same gets an
    // empty message, which it refuses for want of recipients.
    if (rData.startsWith("354") && (sendAll(s, ".\r\n") != IoResult::Ok || readReply(s).isEmpty()))
        return t;
    t.kind = Transaction::Refused;
    t.reply = !isPositive(rMail, '2') ? rMail : !isPositive(rRcpt, '2') ? rRcpt : rData;
    // Start the next message clean; a server that can't is reconnected.
    if (sendAll(s, "RSET\r\n") != IoResult::Ok || readReply(s).isEmpty())
        s.close(false);
    return t;
}

} // namespace

BsmtpOptions &bsmtpOptions()
{
    static BsmtpOptions o;
    return o;
}

SmtpServerArgument parseServerArgument(const QString &server)
{
    SmtpServerArgument a;
    const qsizetype tab = server.indexOf(QLatin1Char('\t'));
    a.host = (tab < 0 ? server : server.left(tab)).trimmed();
    if (tab >= 0) {
        const QString rest = server.mid(tab + 1);
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        bool ok = false;
        const int port = (colon < 0 ? rest : rest.left(colon)).trimmed().toInt(&ok);
        if (ok && port > 0 && port < 65536)
            a.port = port;
        if (colon >= 0) {
            const int t = rest.mid(colon + 1).trimmed().toInt(&ok);
            if (ok && t > 0)
                a.timeout = t;
        }
    }
    return a;
}

SenderArgument parseSenderArgument(const QString &sender)
{
    SenderArgument a;
    const qsizetype tab = sender.indexOf(QLatin1Char('\t'));
    const QString who = tab < 0 ? sender : sender.left(tab);
    if (tab >= 0) {
        const QString login = sender.mid(tab + 1);
        const qsizetype colon = login.indexOf(QLatin1Char(':'));
        a.user = colon < 0 ? login : login.left(colon);
        a.password = colon < 0 ? QString() : login.mid(colon + 1);
        a.hasLogin = true;
    }
    // name<address>. A second bracket or a line break anywhere makes the
    // split ambiguous, so such a sender is refused rather than guessed at.
    const bool oneBracketPair = who.count(QLatin1Char('<')) == 1 && who.count(QLatin1Char('>')) == 1;
    const bool noBreaks = !who.contains(QLatin1Char('\r')) && !who.contains(QLatin1Char('\n'));
    if (who.endsWith(QLatin1Char('>')) && oneBracketPair) {
        const qsizetype lt = who.indexOf(QLatin1Char('<'));
        a.name = who.left(lt).trimmed();
        a.address = who.mid(lt + 1, who.size() - lt - 2);
    } else if (!who.contains(QLatin1Char('<')) && !who.contains(QLatin1Char('>'))) {
        a.address = who.trimmed();
    }
    a.valid = noBreaks && mime::isSafeAddress(a.address.toUtf8());
    return a;
}

QByteArray SendMail(QByteArray &server, QByteArray &recipient, QByteArray &sender,
                    QByteArray &subject, QByteArray &body, QByteArray &attachments)
{
    globalInit();
    SmtpSession &s = session();

    bool reconfigure = !s.configured;
    if (!s.primed || server != s.server) {
        s.server = server;
        s.srv = parseServerArgument(fromNarrow(server));
        s.host = urlHost(s.srv.host);
        s.port = s.srv.port > 0 ? s.srv.port : bsmtpOptions().defaultSmtpPort;
        reconfigure = true;
    }
    if (!s.primed || sender != s.sender) {
        s.sender = sender;
        s.snd = parseSenderArgument(fromNarrow(sender));
        s.senderError.clear();
        if (!s.snd.valid)
            s.senderError = "Invalid sender address: "
                + fromNarrow(sender.left(sender.indexOf('\t'))).toUtf8().toPercentEncoding("@.-_+<> ");
        s.tpl.setFrom(s.snd.name, s.snd.address.toUtf8());
        reconfigure = true;
    }
    if (!s.primed || subject != s.subject) {
        s.subject = subject;
        s.tpl.setSubject(fromNarrow(subject));
    }
    if (!s.primed || attachments != s.attachments) {
        s.attachments = attachments;
        s.attachmentError.clear();
        QList<mime::Attachment> parts;
        const QString text = fromNarrow(attachments);
        for (const QString &path : text.split(QLatin1Char('\t'), Qt::SkipEmptyParts)) {
            mime::Attachment a;
            QString err;
            if (!mime::loadAttachment(path, &a, &err)) {
                s.attachmentError = err.toUtf8();
                break;
            }
            parts.append(a);
        }
        s.tpl.setAttachments(parts);
    }
    s.primed = true;

    if (s.host.isEmpty())
        return cantConnect(s.srv.host, s.port, "invalid server name");
    if (!s.senderError.isEmpty())
        return s.senderError;
    if (!s.attachmentError.isEmpty())
        return s.attachmentError;

    QByteArray rcpt = fromNarrow(recipient).toUtf8();
    if (rcpt.startsWith('<') && rcpt.endsWith('>') && rcpt.size() >= 2)
        rcpt = rcpt.mid(1, rcpt.size() - 2);
    if (!mime::isSafeAddress(rcpt))
        return "Invalid recipient address: " + rcpt.toPercentEncoding("@.-_+");

    if (reconfigure)
        s.close(true);

    QByteArray message = s.tpl.buildUtf8(rcpt, narrowToUtf8(body), messageTime());
    // A line that starts with a dot gets a second one (RFC 5321 4.5.2).
    if (message.startsWith('.'))
        message.prepend('.');
    if (message.contains("\n."))
        message.replace("\n.", "\n..");
    message += ".\r\n";  // the message ends in CR LF, so this is the end mark
    const QByteArray mailFrom = "MAIL FROM:<" + s.snd.address.toUtf8() + ">\r\n";
    const QByteArray rcptTo = "RCPT TO:<" + rcpt + ">\r\n";

    for (int attempt = 0;; ++attempt) {
        const bool fresh = !s.connected;
        if (fresh) {
            QByteArray error;
            if (!connectSmtp(s, &error))
                return encodeCp932(QString::fromUtf8(error));
        }
        const Transaction t = transaction(s, mailFrom, rcptTo, message);
        if (t.kind == Transaction::Accepted)
            return {};
        if (t.kind == Transaction::Refused)
            return encodeCp932(QString::fromUtf8(t.reply));
        s.close(false);
        // A kept connection the server dropped in the meantime: once more on
        // a new one, but only if the server had not answered anything.
        if (fresh || t.answered || attempt > 0)
            return "Connection to the server was lost (" + s.srv.host.toUtf8() + ")";
    }
}

void bsmtpEndSession()
{
    SmtpSession &s = session();
    s.close(true);
    s.primed = false;
}

QVariant RcvMail(QByteArray &server, QByteArray &user, QByteArray &password,
                 QByteArray &command, QByteArray *)
{
    globalInit();
    const BsmtpOptions &o = bsmtpOptions();
    const SmtpServerArgument srv = parseServerArgument(fromNarrow(server));
    const int port = srv.port > 0 ? srv.port : o.pop3Port;
    const int timeout = srv.timeout > 0 ? srv.timeout : o.defaultTimeoutSeconds;
    const QByteArray host = urlHost(srv.host);
    if (host.isEmpty())
        return QString::fromUtf8(cantConnect(srv.host, port, "invalid server name"));
    const QByteArray cmd = command.trimmed().toUpper();
    if (cmd != "STAT")
        return QStringLiteral("Unsupported POP3 command");

    CURL *h = curl_easy_init();
    if (!h)
        return QStringLiteral("POP3 client could not start");
    ReplyCapture capture;
    capture.linePerReply = true;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray url = (port == 995 ? "pop3s://" : "pop3://") + host + ":" + QByteArray::number(port) + "/";
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(port == 995 ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    if (!o.caBundle.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, o.caBundle.toLocal8Bit().constData());
    curl_easy_setopt(h, CURLOPT_USERNAME, fromNarrow(user).toUtf8().constData());
    curl_easy_setopt(h, CURLOPT_PASSWORD, fromNarrow(password).toUtf8().constData());
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "STAT");
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(timeout));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, debugCallback);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &capture);
    const CURLcode rc = curl_easy_perform(h);
    curl_easy_cleanup(h);

    const QByteArray reply = capture.text();
    if (rc == CURLE_OK) {
        // "+OK count size"
        const QList<QByteArray> parts = reply.simplified().split(' ');
        bool okCount = false, okSize = false;
        const qlonglong count = parts.size() >= 3 ? parts[1].toLongLong(&okCount) : 0;
        const qlonglong size = parts.size() >= 3 ? parts[2].toLongLong(&okSize) : 0;
        if (parts.value(0) == "+OK" && okCount && okSize)
            return QVariantList{count, size};
        return QStringLiteral("Unexpected POP3 reply: ") + QString::fromUtf8(reply);
    }
    const QByteArray detail = errorBuffer[0] ? QByteArray(errorBuffer) : QByteArray(curl_easy_strerror(rc));
    if (isConnectFailure(rc) || capture.commandsSent == 0)
        return QString::fromUtf8(cantConnect(srv.host, port, reply.isEmpty() ? detail : reply));
    if (rc == CURLE_LOGIN_DENIED)
        return QStringLiteral("POP3 login failed (") + QString::fromUtf8(reply.isEmpty() ? detail : reply)
            + QLatin1Char(')');
    return QString::fromUtf8(reply.startsWith("-ERR") ? reply : detail);
}
