#pragma once
// Building the wire form of one message: MIME 1.0, UTF-8 text in base64,
// RFC 2047 headers, attachments as multipart/mixed parts with RFC 2231
// file names. Nothing a caller passes can start a header line of its own.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace mime {

// Text safe to write as it is in a header: printable ASCII only.
bool isPlainHeaderText(const QString &text);
// RFC 2047 encoded words (UTF-8, base64), folded with CR LF SPACE so that no
// line exceeds 76 characters after a header name of up to 12 characters.
QByteArray encodedWords(const QString &text);
// A header value: as it is when plain, encoded words otherwise. Line breaks
// in the text become blanks first.
QByteArray headerValue(const QString &text);
// "name" <address> with the name quoted or encoded, or <address> alone.
QByteArray mailbox(const QString &displayName, const QByteArray &address);
// Content-Disposition parameters for a file name: filename*=UTF-8''..., split
// into RFC 2231 continuations when long.
QByteArray fileNameParameter(const QString &fileName);
// Base64 in lines of 76 characters, each ending in CR LF.
QByteArray base64Lines(const QByteArray &data);
// Date header value (RFC 5322).
QByteArray dateValue(const QDateTime &when);

// An address is acceptable when it is not empty and holds no line break,
// control character, blank or angle bracket.
bool isSafeAddress(const QByteArray &address);

struct Attachment {
    QString fileName;     // shown name
    QByteArray contentType;
    QByteArray part;      // headers and base64 body of the part, ready to send
};

// Reads and encodes one file as a part; false with an error text when the
// file can't be read.
bool loadAttachment(const QString &path, Attachment *out, QString *error);

// The parts of a message that stay the same across a run, encoded once.
class MessageTemplate {
public:
    void setFrom(const QString &displayName, const QByteArray &address);
    void setSubject(const QString &subject);
    void setAttachments(QList<Attachment> attachments);

    // The whole message for one recipient.
    QByteArray build(const QByteArray &recipient, const QString &body, const QDateTime &when);
    // The same with the text already in UTF-8.
    QByteArray buildUtf8(const QByteArray &recipient, const QByteArray &bodyUtf8, const QDateTime &when);

private:
    QByteArray m_fromHeader;
    QByteArray m_subjectHeader;
    QByteArray m_domain;
    QList<Attachment> m_attachments;
    QByteArray m_boundary;
    qint64 m_dateSecs = -1;
    QByteArray m_dateHeader;
};

} // namespace mime
