#pragma once
// Building the wire form of one message: MIME 1.0, UTF-8 text in base64,
// RFC 2047 headers, attachments as multipart/mixed parts with RFC 2231
// file names. Nothing a caller passes can start a header line of its own,
// and no line of a message starts with a dot, so it goes to the server as it
// is, without a dot-stuffing pass.

#include "account.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace mime {

// Text safe to write as it is in a header: printable ASCII only.
bool isPlainHeaderText(const QString &text);
// RFC 2047 encoded words (UTF-8, base64), folded with CR LF SPACE so that no
// line exceeds 76 characters after a header name of up to 12 characters.
// With ISO-2022-JP, words of that charset (see iso2022jp.h).
QByteArray encodedWords(const QString &text, MailCharset charset = MailCharset::Utf8);
// A header value: as it is when plain, short enough and free of anything a
// reader could take for an encoded word ("=?" ... "?="), encoded words
// otherwise. Line breaks in the text become blanks first.
QByteArray headerValue(const QString &text, MailCharset charset = MailCharset::Utf8);
// "name" <address> with the name quoted or encoded (by the same rule as
// headerValue), or <address> alone; the header line it makes stays within
// 998 octets.
QByteArray mailbox(const QString &displayName, const QByteArray &address, MailCharset charset = MailCharset::Utf8);
// Content-Disposition parameters for a file name: filename*=UTF-8''..., split
// into RFC 2231 continuations when long.
QByteArray fileNameParameter(const QString &fileName);
// Base64 in lines of 76 characters, each ending in CR LF.
QByteArray base64Lines(QByteArrayView data);
// Date header value (RFC 5322).
QByteArray dateValue(const QDateTime &when);

struct Attachment {
    QString fileName; // shown name
    QByteArray contentType;
    QByteArray part; // headers and base64 body of the part, ready to send
};

// The content type of a file: from its name, and for text from its bytes:
// "; charset=UTF-8" when they are valid UTF-8, "; charset=Shift_JIS" when
// they are valid code page 932, application/octet-stream when neither.
QByteArray attachmentContentType(const QString &fileName, const QByteArray &data);

// Reads and encodes one file as a part, its name in both parameter forms
// (see attachmentname.h); false with an error text naming the file when it
// can't be read.
bool loadAttachment(const QString &path, Attachment *out, QString *error, MailCharset charset = MailCharset::Utf8);

// What one recipient's message has of its own besides the head text:
// header lines (each ending in CR LF), a word for the Message-ID, and text
// after the shared text.
struct RecipientExtra {
    QByteArray headers;
    QByteArray idPart;
    QString tail;
};

// The messages of one run: what every message shares is encoded once (the
// sender, the subject, the attachments and the shared text, base64 included),
// so a message costs its few own headers, the base64 of its own head text,
// and copying.
class MessageBuilder {
public:
    // UTF-8 in base64, or ISO-2022-JP in 7bit (base64 when a line would be
    // too long for 7bit); before any of the setters below.
    void setCharset(MailCharset charset) { m_charset = charset; }
    void setFrom(const QString &displayName, const QByteArray &address);
    void setSubject(const QString &subject);
    // The text after each message's own head (the body and its line end).
    void setSharedText(const QString &text);
    void setAttachments(QList<Attachment> attachments);

    // The whole message for one recipient: head + shared text. CR LF line
    // ends, no final dot.
    QByteArray build(const QByteArray &recipient, const QString &head, const QDateTime &when,
                     const RecipientExtra &extra = {});
    // The size build() gives, or a little more: the date and the serial
    // are not known yet.
    qint64 sizeOf(const QByteArray &recipient, const QString &head, const RecipientExtra &extra = {});

private:
    void prepareBlocks();
    // Base64 lines of the head and the first bytes of the shared text;
    // *tail: which of m_sharedTail follows (-1: none, all is in the result).
    QByteArray headBase64(const QString &head, qsizetype *tail) const;
    // The text of a message with a tail of its own, and the tail's bytes.
    QByteArray ownText(const QString &head, const QString &tail, qsizetype *k, QByteArray *after) const;

    MailCharset m_charset = MailCharset::Utf8;
    bool m_7bit = false; // the text goes as it is, not in base64
    QByteArray m_fromHeader;
    QByteArray m_subjectHeader;
    QByteArray m_domain = "localhost";
    QList<Attachment> m_attachments;
    QByteArray m_boundary;
    QByteArray m_shared;        // the shared text in the message's charset
    QByteArray m_sharedTail[3]; // base64 lines of m_shared without its first 0, 1, 2 bytes (7bit: m_shared)
    QByteArrayList m_blocks;    // between recipient, time, serial, text and end
    qint64 m_dateSecs = -1;
    QByteArray m_dateHeader;
    QByteArray m_secs36;
};

} // namespace mime
