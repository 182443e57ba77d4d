#include "mimemessage.h"

#include "attachmentname.h"
#include "iso2022jp.h"
#include "textcodec.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>
#include <QRandomGenerator>
#include <QTimeZone>
#include <atomic>
#include <cstring>

namespace mime {

namespace {

constexpr int kWordBytes = 39; // 52 base64 characters per encoded word
constexpr int kLineChars = 76;
// The longest line SMTP carries, without its CR LF.
constexpr int kLineOctets = 998;
// A plain header value this long still leaves its line within the 998
// octets a line may hold, with room for the header name.
constexpr int kPlainValueChars = 900;

QString noLineBreaks(const QString &text)
{
    QString s = text;
    for (QChar &c : s)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0x2028) || c == QChar(0x2029))
            c = QLatin1Char(' ');
    return s;
}

// A random token for boundaries and message ids, different in every process.
QByteArray processToken()
{
    static const QByteArray token = [] {
        quint64 v = QRandomGenerator::system()->generate64();
        return QByteArray::number(v, 36);
    }();
    return token;
}

std::atomic<quint64> g_messageCounter{0};

qsizetype longestLine(const QByteArray &text)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf("\r\n", start);
        if (end < 0)
            end = text.size();
        longest = std::max(longest, end - start);
        start = end + 2;
    }
    return longest;
}

// "=?" with a "?=" after it: a reader may take the text between for an
// encoded word and decode it, so such a text is encoded itself.
bool mayReadAsEncodedWord(const QString &text)
{
    const qsizetype open = text.indexOf(QLatin1String("=?"));
    return open >= 0 && text.indexOf(QLatin1String("?="), open + 2) >= 0;
}

} // namespace

bool isPlainHeaderText(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

QByteArray encodedWords(const QString &text, MailCharset charset)
{
    if (charset == MailCharset::Iso2022Jp)
        return iso2022jp::encodedWords(text);
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size() * 2 + 16);
    qsizetype i = 0;
    bool first = true;
    while (i < utf8.size()) {
        // Take whole characters up to kWordBytes bytes.
        qsizetype end = i;
        while (end < utf8.size()) {
            const unsigned char c = static_cast<unsigned char>(utf8[end]);
            const qsizetype len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
            if (end + len - i > kWordBytes && end > i)
                break;
            end += len;
        }
        end = std::min(end, utf8.size());
        if (!first)
            out += "\r\n ";
        first = false;
        out += "=?UTF-8?B?";
        out += utf8.mid(i, end - i).toBase64();
        out += "?=";
        i = end;
    }
    return out;
}

QByteArray headerValue(const QString &text, MailCharset charset)
{
    const QString s = noLineBreaks(text);
    if (isPlainHeaderText(s) && s.size() <= kPlainValueChars && !mayReadAsEncodedWord(s))
        return s.toLatin1();
    return encodedWords(s, charset);
}

QByteArray mailbox(const QString &displayName, const QByteArray &address, MailCharset charset)
{
    QByteArray out;
    const QString name = noLineBreaks(displayName);
    if (!name.isEmpty()) {
        QByteArray quoted;
        // Some readers decode encoded words even inside quotes.
        if (isPlainHeaderText(name) && !mayReadAsEncodedWord(name)) {
            quoted += '"';
            for (QChar c : name) {
                if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
                    quoted += '\\';
                quoted += static_cast<char>(c.unicode());
            }
            quoted += "\" ";
        }
        // The quoted name, its escapes included, and the address share one line.
        if (!quoted.isEmpty() && quoted.size() + address.size() + 2 <= kPlainValueChars) {
            out += quoted;
        } else {
            out += encodedWords(name, charset);
            out += "\r\n ";
        }
    }
    out += '<';
    out += address;
    out += '>';
    return out;
}

QByteArray fileNameParameter(const QString &fileName)
{
    // Percent-encoding keeps only unreserved characters, all of which RFC 2231
    // allows in an extended value; line breaks and quotes are always escaped.
    const QByteArray encoded = fileName.toUtf8().toPercentEncoding();
    if (encoded.size() <= 50)
        return "filename*=UTF-8''" + encoded;
    QByteArray out;
    int n = 0;
    qsizetype i = 0;
    while (i < encoded.size()) {
        qsizetype len = std::min<qsizetype>(50, encoded.size() - i);
        // Never split a %XX escape.
        if (i + len < encoded.size()) {
            if (encoded[i + len - 1] == '%')
                len -= 1;
            else if (len >= 2 && encoded[i + len - 2] == '%')
                len -= 2;
        }
        if (n > 0)
            out += ";\r\n ";
        out += "filename*" + QByteArray::number(n) + "*=";
        if (n == 0)
            out += "UTF-8''";
        out += encoded.mid(i, len);
        i += len;
        ++n;
    }
    return out;
}

QByteArray base64Lines(QByteArrayView data)
{
    const QByteArray b64 = QByteArray::fromRawData(data.data(), data.size()).toBase64();
    QByteArray out;
    out.reserve(b64.size() + (b64.size() / kLineChars + 1) * 2);
    for (qsizetype i = 0; i < b64.size(); i += kLineChars) {
        out.append(b64.constData() + i, std::min<qsizetype>(kLineChars, b64.size() - i));
        out.append("\r\n", 2);
    }
    return out;
}

QByteArray dateValue(const QDateTime &when)
{
    return when.toString(Qt::RFC2822Date).toLatin1();
}

QByteArray attachmentContentType(const QString &fileName, const QByteArray &data)
{
    static const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    QByteArray name = type.name().toLatin1();
    if (name.isEmpty())
        return "application/octet-stream";
    if (!type.inherits(QStringLiteral("text/plain")) && !name.startsWith("text/"))
        return name;
    if (isValidUtf8(data))
        return name + "; charset=UTF-8";
    if (isValidCp932(data))
        return name + "; charset=Shift_JIS";
    return "application/octet-stream";
}

bool loadAttachment(const QString &path, Attachment *out, QString *error, MailCharset charset)
{
    QFile f(path);
    QByteArray data;
    if (f.open(QIODevice::ReadOnly))
        data = f.readAll();
    if (!f.isOpen() || f.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Attachment not readable: ") + path + QStringLiteral(" (") + f.errorString()
                 + QLatin1Char(')');
        return false;
    }
    out->fileName = QFileInfo(path).fileName();
    out->contentType = attachmentContentType(out->fileName, data);
    QByteArray part;
    part += "Content-Type: " + out->contentType + contentTypeNameParameter(out->fileName, charset) + "\r\n";
    part += "Content-Disposition: attachment;\r\n " + fileNameParameter(out->fileName) + "\r\n";
    part += "Content-Transfer-Encoding: base64\r\n\r\n";
    part += base64Lines(data);
    out->part = part;
    return true;
}

void MessageBuilder::setFrom(const QString &displayName, const QByteArray &address)
{
    m_fromHeader = "From: " + mailbox(displayName, address, m_charset) + "\r\n";
    const qsizetype at = address.lastIndexOf('@');
    m_domain = at >= 0 ? address.mid(at + 1) : QByteArray();
    if (m_domain.isEmpty())
        m_domain = "localhost";
    m_blocks.clear();
}

void MessageBuilder::setSubject(const QString &subject)
{
    m_subjectHeader = "Subject: " + headerValue(subject, m_charset) + "\r\n";
    m_blocks.clear();
}

void MessageBuilder::setSharedText(const QString &text)
{
    m_blocks.clear();
    if (m_charset == MailCharset::Iso2022Jp) {
        m_shared = iso2022jp::encode(text);
        m_7bit = longestLine(m_shared) <= kLineOctets;
        if (m_7bit) {
            m_sharedTail[0] = m_shared;
            m_sharedTail[1] = m_sharedTail[2] = QByteArray();
            return;
        }
    } else {
        m_shared = text.toUtf8();
        m_7bit = false;
    }
    for (qsizetype k = 0; k < 3; ++k)
        m_sharedTail[k] = k <= m_shared.size() ? base64Lines(QByteArrayView(m_shared).sliced(k)) : QByteArray();
}

void MessageBuilder::setAttachments(QList<Attachment> attachments)
{
    m_attachments = std::move(attachments);
    m_blocks.clear();
}

// What stands between the parts that change from message to message.
void MessageBuilder::prepareBlocks()
{
    const QByteArray textHeaders =
        m_charset == MailCharset::Iso2022Jp
            ? QByteArray("Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: ")
                  + (m_7bit ? "7bit" : "base64") + "\r\n\r\n"
            : QByteArray("Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n");
    // The boundary follows from the content, so the same message built twice
    // (preview, dry run, send) differs in its date and id alone. "=_" can't
    // occur in base64 or in percent-encoded parameters.
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(m_shared);
    for (const Attachment &a : m_attachments)
        hash.addData(a.part);
    m_boundary = "=_qp_" + hash.result().toHex().left(20);
    m_blocks = {m_fromHeader + "To: <", ">\r\n" + m_subjectHeader + "Message-ID: <",
                "." + processToken() + "@" + m_domain + ">\r\nMIME-Version: 1.0\r\n", QByteArray()};
    if (m_attachments.isEmpty()) {
        m_blocks[2] += textHeaders;
        return;
    }
    m_blocks[2] += "Content-Type: multipart/mixed;\r\n boundary=\"" + m_boundary + "\"\r\n\r\n"
                   + "This is a multi-part message in MIME format.\r\n" + "--" + m_boundary + "\r\n" + textHeaders;
    for (const Attachment &a : m_attachments)
        m_blocks[3] += "--" + m_boundary + "\r\n" + a.part;
    m_blocks[3] += "--" + m_boundary + "--\r\n";
}

// Base64 works on groups of three bytes, so the head takes up to two bytes
// of the shared text to fill its last group; the rest of the shared text
// was encoded once, for each of the three possible starts. A line shorter
// than 76 characters in the middle is valid base64 text.
QByteArray MessageBuilder::headBase64(const QString &head, qsizetype *tail) const
{
    QByteArray own = m_charset == MailCharset::Iso2022Jp ? iso2022jp::encode(head) : head.toUtf8();
    if (m_7bit) {
        *tail = 0;
        return own;
    }
    const qsizetype k = (3 - own.size() % 3) % 3;
    if (k > m_shared.size()) {
        *tail = -1;
        return base64Lines(own + m_shared);
    }
    own.append(m_shared.constData(), k);
    *tail = k;
    return base64Lines(own);
}

QByteArray MessageBuilder::ownText(const QString &head, const QString &tail, qsizetype *k, QByteArray *after) const
{
    if (tail.isEmpty())
        return headBase64(head, k);
    const auto encoded = [this](const QString &t) {
        return m_charset == MailCharset::Iso2022Jp ? iso2022jp::encode(t) : t.toUtf8();
    };
    if (m_7bit) {
        *k = 0;
        *after = encoded(tail);
        return encoded(head);
    }
    // A tail of its own ends the base64 at another place: the whole text is
    // encoded again.
    *k = -1;
    return base64Lines(encoded(head) + m_shared + encoded(tail));
}

qint64 MessageBuilder::sizeOf(const QByteArray &recipient, const QString &head, const RecipientExtra &extra)
{
    // The Date header, and the time and serial in the Message-ID, at most.
    constexpr qint64 kVarying = 64;
    if (m_blocks.isEmpty())
        prepareBlocks();
    qsizetype k = 0;
    QByteArray after;
    qint64 size = kVarying + recipient.size() + ownText(head, extra.tail, &k, &after).size()
                  + (k >= 0 ? m_sharedTail[k].size() : 0) + after.size() + extra.headers.size()
                  + (extra.idPart.isEmpty() ? 0 : extra.idPart.size() + 1);
    for (const QByteArray &block : std::as_const(m_blocks))
        size += block.size();
    return size;
}

QByteArray MessageBuilder::build(const QByteArray &recipient, const QString &head, const QDateTime &when,
                                 const RecipientExtra &extra)
{
    const qint64 secs = when.toSecsSinceEpoch();
    if (secs != m_dateSecs) {
        m_dateSecs = secs;
        m_dateHeader = "Date: " + dateValue(when) + "\r\n";
        m_secs36 = QByteArray::number(secs, 36) + '.';
    }
    if (m_blocks.isEmpty())
        prepareBlocks();
    const QByteArray serial = QByteArray::number(++g_messageCounter, 36);
    qsizetype k = 0;
    QByteArray after;
    const QByteArray own = ownText(head, extra.tail, &k, &after);
    const QByteArrayView tail = k >= 0 ? QByteArrayView(m_sharedTail[k]) : QByteArrayView();
    const QByteArray idPart = extra.idPart.isEmpty() ? QByteArray() : "." + extra.idPart;

    // Sized once and filled by copying: a message is mostly shared bytes.
    const QByteArrayView pieces[] = {extra.headers, m_dateHeader, m_blocks[0], recipient,   m_blocks[1],
                                     m_secs36,      serial,       idPart,      m_blocks[2], own,
                                     tail,          after,        m_blocks[3]};
    qsizetype size = 0;
    for (QByteArrayView piece : pieces)
        size += piece.size();
    QByteArray m(size, Qt::Uninitialized);
    char *p = m.data();
    for (QByteArrayView piece : pieces) {
        // An empty piece (no attachments, no tail) may have no data at all.
        if (piece.isEmpty())
            continue;
        std::memcpy(p, piece.data(), size_t(piece.size()));
        p += piece.size();
    }
    return m;
}

} // namespace mime
