#include "bsmtp.h"

#include "mimemessage.h"
#include "textcodec.h"

#include <QDateTime>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <curl/curl.h>
#include <cctype>
#include <cstring>
#include <mutex>

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
    } else if (type == CURLINFO_HEADER_IN) {
        QByteArray line(data, static_cast<qsizetype>(size));
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (c->replyDone) {
            c->lines.clear();
            ++c->repliesReceived;
        }
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
struct SmtpSession {
    CURL *handle = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    ReplyCapture capture;

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

    QByteArray upload;
    qsizetype uploadPos = 0;

    ~SmtpSession() { close(); }
    void close()
    {
        if (handle)
            curl_easy_cleanup(handle);
        handle = nullptr;
        configured = false;
    }
};

SmtpSession &session()
{
    static SmtpSession s;
    return s;
}

size_t readCallback(char *buffer, size_t size, size_t nitems, void *userp)
{
    auto *s = static_cast<SmtpSession *>(userp);
    const size_t room = size * nitems;
    const size_t left = static_cast<size_t>(s->upload.size() - s->uploadPos);
    const size_t n = std::min(room, left);
    std::memcpy(buffer, s->upload.constData() + s->uploadPos, n);
    s->uploadPos += static_cast<qsizetype>(n);
    return n;
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
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, readCallback);
    curl_easy_setopt(h, CURLOPT_READDATA, &s);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, s.errorBuffer);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, debugCallback);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &s.capture);
    s.configured = true;
}

QByteArray classify(SmtpSession &s, CURLcode rc)
{
    const QByteArray reply = s.capture.text();
    const QByteArray detail = s.errorBuffer[0] ? QByteArray(s.errorBuffer) : QByteArray(curl_easy_strerror(rc));
    if (rc == CURLE_LOGIN_DENIED)
        return "AUTH LOGIN failed (" + (reply.isEmpty() ? detail : reply) + ")";
    if (isConnectFailure(rc))
        return cantConnect(s.srv.host, s.port, detail);
    // Nothing was said yet on this connection: the server never answered
    // its greeting properly, so it can't be used at all.
    if (s.capture.commandsSent == 0)
        return cantConnect(s.srv.host, s.port, reply.isEmpty() ? detail : reply);
    if (isServerRefusal(reply))
        return reply;
    return detail.isEmpty() ? QByteArray("send failed") : detail;
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
        configureSmtp(s);

    s.upload = s.tpl.build(rcpt, fromNarrow(body), QDateTime::currentDateTime());
    const QByteArray mailFrom = "<" + s.snd.address.toUtf8() + ">";
    const QByteArray rcptTo = "<" + rcpt + ">";
    curl_slist *rcpts = curl_slist_append(nullptr, rcptTo.constData());
    curl_easy_setopt(s.handle, CURLOPT_MAIL_FROM, mailFrom.constData());
    curl_easy_setopt(s.handle, CURLOPT_MAIL_RCPT, rcpts);

    CURLcode rc = CURLE_OK;
    for (int attempt = 0; attempt < 2; ++attempt) {
        s.uploadPos = 0;
        s.errorBuffer[0] = 0;
        s.capture.reset();
        rc = curl_easy_perform(s.handle);
        if (rc == CURLE_OK || attempt > 0)
            break;
        // A kept connection the server has dropped in the meantime: try once
        // more on a new one, but only if the server had not answered anything.
        long connects = 0;
        curl_easy_getinfo(s.handle, CURLINFO_NUM_CONNECTS, &connects);
        const bool dropped = rc == CURLE_SEND_ERROR || rc == CURLE_RECV_ERROR || rc == CURLE_GOT_NOTHING;
        if (!(dropped && connects == 0 && s.capture.repliesReceived == 0))
            break;
        curl_easy_setopt(s.handle, CURLOPT_FRESH_CONNECT, 1L);
        rc = curl_easy_perform(s.handle);
        curl_easy_setopt(s.handle, CURLOPT_FRESH_CONNECT, 0L);
        break;
    }
    curl_easy_setopt(s.handle, CURLOPT_MAIL_RCPT, nullptr);
    curl_slist_free_all(rcpts);
    s.upload.clear();
    if (rc == CURLE_OK)
        return {};
    const QByteArray error = classify(s, rc);
    // A login or connection failure leaves nothing worth keeping.
    if (rc == CURLE_LOGIN_DENIED || isConnectFailure(rc))
        s.close();
    return encodeCp932(QString::fromUtf8(error));
}

void bsmtpEndSession()
{
    SmtpSession &s = session();
    s.close();  // libcurl says QUIT as it closes the connection
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
