// Talking on an open connection: writes bounded in time, replies bounded
// in size and time, and the server's text as it may be shown.

#include "curlconnection_p.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <climits>
#include <poll.h>

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

bool CurlConnection::sendAll(QByteArrayView data, int inactivityMs, qsizetype *written)
{
    qsizetype done = 0;
    auto result = [&](bool ok) {
        if (written)
            *written = done;
        return ok;
    };
    if (!d->open || m_abort->requested)
        return result(false);
    const int limit = inactivityMs >= 0 ? inactivityMs : d->timeoutMs;
    QDeadlineTimer deadline(limit);
    while (done < data.size()) {
        size_t n = 0;
        const CURLcode rc = curl_easy_send(d->handle, data.data() + done, static_cast<size_t>(data.size() - done), &n);
        if (rc == CURLE_AGAIN) {
            if (!waitFor(d->socket, true, deadline))
                return result(false);
            continue;
        }
        if (rc != CURLE_OK)
            return result(false);
        done += static_cast<qsizetype>(n);
        // A slow server that keeps taking data is no reason to give up.
        deadline.setRemainingTime(limit);
    }
    return result(true);
}

void CurlConnection::abort()
{
    m_abort->requested = true;
    std::lock_guard<std::mutex> guard(m_abort->lock);
    if (m_abort->socket != CURL_SOCKET_BAD)
        ::shutdown(m_abort->socket, SHUT_RDWR);
}

bool CurlConnection::wasAborted() const
{
    return m_abort->requested;
}

QString serverText(QByteArrayView bytes)
{
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter))
        text = QString::fromLatin1(bytes);
    QString shown;
    shown.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t') || (u >= 0x7f && u <= 0x9f))
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

ServerReply CurlConnection::readReply(int timeoutMs, QByteArrayList *lines)
{
    ServerReply r;
    if (!d->open || m_abort->requested)
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
            if (lines)
                lines->append(line.toByteArray());
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
        if (!receive(deadline, &r.status))
            return r;
    }
}

bool CurlConnection::receive(const QDeadlineTimer &deadline, ServerReply::Status *failure)
{
    State &s = *d;
    // Drop what was read, now and then, so the buffer stays small
    // without moving bytes on every reply.
    if (s.pos > 32 * 1024) {
        s.in.remove(0, s.pos);
        s.scan -= s.pos;
        s.pos = 0;
    }
    for (;;) {
        // In clear, nothing can wait for us above the socket, so waiting
        // first saves asking the socket in vain while the reply travels.
        // Over TLS, decrypted bytes may wait in the TLS layer: ask first.
        if (!isEncrypted() && !waitFor(s.socket, false, deadline)) {
            *failure = deadline.hasExpired() ? ServerReply::TimedOut : ServerReply::Closed;
            return false;
        }
        char buf[16384];
        size_t n = 0;
        const CURLcode rc = curl_easy_recv(s.handle, buf, sizeof buf, &n);
        if (rc == CURLE_AGAIN) {
            if (!waitFor(s.socket, false, deadline)) {
                *failure = deadline.hasExpired() ? ServerReply::TimedOut : ServerReply::Closed;
                return false;
            }
            continue;
        }
        if (rc != CURLE_OK || n == 0) {
            *failure = ServerReply::Closed;
            return false;
        }
        s.in.append(buf, static_cast<qsizetype>(n));
        return true;
    }
}

ServerReply CurlConnection::readDataLine(qsizetype keep, bool *cut, int timeoutMs)
{
    ServerReply r;
    if (cut)
        *cut = false;
    if (!d->open || m_abort->requested)
        return r;
    State &s = *d;
    const int limit = timeoutMs >= 0 ? timeoutMs : s.timeoutMs;
    QDeadlineTimer deadline(limit);
    for (;;) {
        const qsizetype nl = s.in.indexOf('\n', s.scan);
        const qsizetype end = nl >= 0 ? nl : s.in.size();
        // What the line has beyond keep is read and dropped as it comes.
        const qsizetype room = keep - r.text.size();
        const qsizetype take = std::min<qsizetype>(end - s.pos, std::max<qsizetype>(room, 0));
        r.text.append(s.in.constData() + s.pos, take);
        if (end - s.pos > take && cut)
            *cut = true;
        s.pos = s.scan = end;
        if (nl >= 0) {
            s.pos = s.scan = nl + 1;
            while (r.text.endsWith('\r'))
                r.text.chop(1);
            r.status = ServerReply::Complete;
            return r;
        }
        if (!receive(deadline, &r.status))
            return r;
        // A long line that keeps coming is no reason to give up.
        deadline.setRemainingTime(limit);
    }
}
