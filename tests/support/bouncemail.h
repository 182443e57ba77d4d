#pragma once
// Messages as they arrive in a sender's mailbox: bounces in the forms real
// servers write (Postfix, Exchange, Gmail, a Japanese provider, qmail's
// failure notice) and personal mail, the originals quoted with the token
// Quillpost put in their Message-ID.

#include <QByteArray>
#include <QString>

class BounceMail {
public:
    explicit BounceMail(QByteArray secret) : m_secret(std::move(secret)) {}

    QByteArray token(const QString &address) const;
    static QByteArray crlf(QByteArray text);
    static QByteArray b64(const QString &text);

    // A multipart/report as Postfix writes it, the original quoted whole.
    QByteArray postfixDsn(const QString &to, const QByteArray &action, const QByteArray &status,
                          const QByteArray &diag) const;
    // The original's headers only.
    QByteArray exchangeDsn(const QString &to) const;
    // The original without its Message-ID.
    static QByteArray gmailDsn(const QString &to);
    // Not a report: a notice in Japanese quoting the original's head.
    QByteArray japaneseNotice(const QString &to) const;
    // qmail's "failure notice", with `quoted` as the copy of the message.
    static QByteArray plainNotice(const QString &to, const QByteArray &quoted);
    static QByteArray personal(const QString &from, const QString &subject, const QByteArray &extraHeaders = {},
                               const QString &body = QStringLiteral("よろしくお願いします。"));

private:
    QByteArray m_secret;
};
