// Messages in a window (RFC 3030 with RFC 2920): each goes as RSET, MAIL,
// RCPT and BDAT n LAST with its data in one write, without waiting for the
// replies of the ones before it; the replies come back in the same order.
// A server that refuses MAIL or RCPT still reads the chunk and refuses the
// BDAT, so the stream stays in step. RSET before each MAIL but a session's
// first ends whatever a refused transaction left open.

#include "curlconnection.h"
#include "curltransport.h"
#include "curltransport_p.h"

#include <algorithm>

using namespace transport;

int CurlTransport::window() const
{
    return m_chunking && m_conn->isOpen() && !freshSessionDue() ? m_settings.sendWindow : 1;
}

bool CurlTransport::startChunked(const Envelope &envelope, const QByteArray &message)
{
    using Kind = MessageResult::Kind;
    // A session without CHUNKING keeps to one message at a time.
    if (m_settings.sendWindow <= 1 || (m_conn->isOpen() && !m_chunking))
        return false;
    auto known = [this](Kind kind, const QString &text) {
        InFlight f;
        f.result = MessageResult{kind, text};
        m_inFlight.push_back(f);
        return true;
    };
    const bool replyDue = std::any_of(m_inFlight.cbegin(), m_inFlight.cend(),
                                      [](const InFlight &f) { return !f.result; });
    if (m_conn->isOpen() && !replyDue) {
        // Nothing is on its way: a session the server ended meanwhile (an
        // idle limit, a 421 between messages) or has begun to punish gets
        // no message; a fresh one does.
        if (freshSessionDue())
            leaveSession();
        else if (m_conn->readReply(1).status != ServerReply::TimedOut)
            closeSession();
    }
    if (!m_conn->isOpen()) {
        bool forNow = false;
        const QString error = openSession(&forNow);
        if (!error.isEmpty())
            return known(m_conn->wasAborted() ? Kind::NotSent : forNow ? Kind::UnusableForNow : Kind::Unusable, error);
    }
    if (!m_chunking) {
        m_openedAhead = true;
        return false;
    }
    if (!sendable(envelope))
        return known(Kind::Refused,
                     QStringLiteral("The server does not take addresses outside ASCII (no SMTPUTF8): ")
                         + QString::fromUtf8(envelope.from.needsSmtpUtf8 ? envelope.from.wire : envelope.to.wire));
    if (!fits(message.size()))
        return known(Kind::TooLarge,
                     QStringLiteral("The message (%1 octets) is larger than the server takes (%2 octets)")
                         .arg(message.size())
                         .arg(m_sizeLimit));
    if (!dataMayGo())
        return known(Kind::NotSent, lost(ServerReply()));

    InFlight f;
    f.reset = m_needsReset;
    QByteArray out = envelopeCommands(envelope);
    out.chop(6); // "DATA\r\n"
    if (f.reset)
        out.prepend("RSET\r\n");
    out += "BDAT " + QByteArray::number(message.size()) + " LAST\r\n";
    const qsizetype whole = out.size() + message.size();
    out.reserve(whole);
    out += message;
    qsizetype written = 0;
    const bool ok = m_conn->sendAll(out, limitMs(kDataBlockSeconds), &written);
    f.endWritten = written == whole;
    m_needsReset = true;
    if (!ok) {
        f.result = MessageResult{f.endWritten ? Kind::Uncertain : Kind::NotSent, lost(ServerReply())};
        m_inFlight.push_back(f);
        closeSession();
        return true;
    }
    m_inFlight.push_back(f);
    return true;
}

namespace {

bool notSmtp(const ServerReply &r)
{
    return r.complete() && (r.code < 200 || r.code > 599);
}

} // namespace

MessageResult CurlTransport::finishChunked()
{
    using Kind = MessageResult::Kind;
    const InFlight f = m_inFlight.front();
    m_inFlight.pop_front();
    if (f.result)
        return *f.result;
    // RSET (when it went), MAIL, RCPT, BDAT.
    const int expected = f.reset ? 4 : 3;
    QList<ServerReply> replies;
    for (int k = 0; k < expected; ++k) {
        replies << m_conn->readReply(limitMs(k == expected - 1 ? kFinalDotSeconds : kCommandSeconds));
        if (!replies.last().complete())
            break;
    }
    const qsizetype mail = f.reset ? 1 : 0;
    // A refused MAIL or RCPT: its BDAT fails and nothing is delivered,
    // whatever comes after.
    const ServerReply *refusal = nullptr;
    for (qsizetype k = mail; k < std::min<qsizetype>(mail + 2, replies.size()) && !refusal; ++k)
        if (replies[k].complete() && !replies[k].positive())
            refusal = &replies[k];
    const ServerReply &last = replies.last();
    const bool broken = !last.complete() || std::any_of(replies.cbegin(), replies.cend(), notSmtp)
                        || std::any_of(replies.cbegin(), replies.cend(),
                                       [](const ServerReply &r) { return r.code == 421; });
    MessageResult result;
    if (refusal) {
        ++m_refusedHere;
        result = {Kind::Refused, fromServer(refusal->text)};
    } else if (!last.complete()) {
        // Its data went: the server may have taken it.
        result = {Kind::Uncertain, lost(last)};
    } else if (last.code >= 200 && last.code < 300) {
        result = {Kind::Accepted, {}};
    } else {
        result = {Kind::Refused, fromServer(last.text)};
    }
    if (broken)
        closeSession();
    return result;
}

void CurlTransport::settleInFlight(const QString &text)
{
    for (InFlight &f : m_inFlight)
        if (!f.result)
            f.result = MessageResult{f.endWritten ? MessageResult::Kind::Uncertain : MessageResult::Kind::NotSent,
                                     text};
}
