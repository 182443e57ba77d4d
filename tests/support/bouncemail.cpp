#include "bouncemail.h"

#include "unsubscribetoken.h"

QByteArray BounceMail::token(const QString &address) const
{
    return unsubscribeToken(address, m_secret);
}

QByteArray BounceMail::crlf(QByteArray text)
{
    text.replace("\r\n", "\n");
    text.replace("\n", "\r\n");
    return text;
}

QByteArray BounceMail::b64(const QString &text)
{
    return text.toUtf8().toBase64();
}

// A multipart/report as Postfix writes it.
QByteArray BounceMail::postfixDsn(const QString &to, const QByteArray &action, const QByteArray &status,
                                  const QByteArray &diag) const
{
    return crlf("Return-Path: <>\n"
                "From: MAILER-DAEMON@mx.example.net (Mail Delivery System)\n"
                "To: shop@example.com\n"
                "Subject: Undelivered Mail Returned to Sender\n"
                "Auto-Submitted: auto-replied\n"
                "MIME-Version: 1.0\n"
                "Content-Type: multipart/report; report-type=delivery-status; boundary=\"B1\"\n\n"
                "--B1\nContent-Description: Notification\nContent-Type: text/plain; charset=us-ascii\n\n"
                "I'm sorry to have to inform you that your message could not be delivered.\n\n"
                "--B1\nContent-Description: Delivery report\nContent-Type: message/delivery-status\n\n"
                "Reporting-MTA: dns; mx.example.net\nArrival-Date: Mon, 7 Dec 2026 10:00:00 +0900\n\n"
                "Final-Recipient: rfc822; "
                + to.toUtf8() + "\nOriginal-Recipient: rfc822;" + to.toUtf8() + "\nAction: " + action
                + "\nStatus: " + status + "\nDiagnostic-Code: smtp; " + diag
                + "\n\n--B1\nContent-Type: message/rfc822\n\n"
                  "From: shop@example.com\nTo: "
                + to.toUtf8() + "\nSubject: news\nMessage-ID: <" + token(to) + "@example.com>\n\nHello\n\n--B1--\n");
}

QByteArray BounceMail::exchangeDsn(const QString &to) const
{
    return crlf("From: postmaster@outlook.example\nTo: shop@example.com\n"
                "Subject: Undeliverable: news\nMIME-Version: 1.0\n"
                "Content-Type: multipart/report; report-type=delivery-status; boundary=\"EX\"\n\n"
                "--EX\nContent-Type: text/html; charset=us-ascii\n\n<p>Delivery has failed.</p>\n"
                "--EX\nContent-Type: message/delivery-status\n\n"
                "Reporting-MTA: dns;EX01.outlook.example\n\n"
                "Final-recipient: RFC822;"
                + to.toUtf8()
                + "\nAction: failed\nStatus: 5.1.10\n"
                  "Diagnostic-code: smtp;550 5.1.10 RESOLVER.ADR.RecipientNotFound; Recipient not found\n\n"
                  "--EX\nContent-Type: text/rfc822-headers\n\n"
                  "From: shop@example.com\nMessage-ID: <"
                + token(to) + "@example.com>\nSubject: news\n\n--EX--\n");
}

QByteArray BounceMail::gmailDsn(const QString &to)
{
    return crlf("From: Mail Delivery Subsystem <mailer-daemon@googlemail.example>\nTo: shop@example.com\n"
                "Subject: Delivery Status Notification (Failure)\nMIME-Version: 1.0\n"
                "Content-Type: multipart/report; boundary=\"G\"; report-type=delivery-status\n\n"
                "--G\nContent-Type: multipart/related; boundary=\"G2\"\n\n"
                "--G2\nContent-Type: text/plain; charset=\"UTF-8\"\n\n** Address not found **\n\n--G2--\n"
                "--G\nContent-Type: message/delivery-status\n\n"
                "Reporting-MTA: dns; googlemail.example\n\n"
                "Final-Recipient: rfc822; "
                + to.toUtf8()
                + "\nAction: failed\nStatus: 5.1.1\n"
                  "Diagnostic-Code: smtp; 550-5.1.1 The email account that you tried to reach does not exist.\n"
                  " 550 5.1.1 Please try double-checking the recipient's email address\n\n"
                  "--G\nContent-Type: message/rfc822\n\nFrom: shop@example.com\nSubject: news\n\nHi\n--G--\n");
}

// Not a report: a Japanese provider's notice quoting the original's head.
QByteArray BounceMail::japaneseNotice(const QString &to) const
{
    return crlf("From: MAILER-DAEMON@mail.provider.example\nTo: shop@example.com\n"
                "Subject: =?UTF-8?B?"
                + b64(QStringLiteral("配信エラーのお知らせ"))
                + "?=\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
                  "Content-Transfer-Encoding: base64\n\n"
                + b64(QStringLiteral("次のあて先へのメールは配信できませんでした。\n<%1>\n"
                                     "550 5.1.1 あて先のメールアドレスが見つかりません\n\n"
                                     "----- 元のメッセージのヘッダー -----\nMessage-ID: <%2@example.com>\n")
                          .arg(to, QString::fromLatin1(token(to))))
                + "\n");
}

QByteArray BounceMail::plainNotice(const QString &to, const QByteArray &quoted)
{
    return crlf("From: MAILER-DAEMON@qmail.example\nTo: shop@example.com\nSubject: failure notice\n\n"
                "Hi. This is the qmail-send program at qmail.example.\n"
                "I'm afraid I wasn't able to deliver your message to the following addresses.\n\n<"
                + to.toUtf8()
                + ">:\nRemote host said: 550 5.1.1 User unknown\n\n"
                  "--- Below this line is a copy of the message.\n\n"
                + quoted + "\n");
}

QByteArray BounceMail::personal(const QString &from, const QString &subject, const QByteArray &extraHeaders,
                                const QString &body)
{
    return crlf("From: " + from.toUtf8() + "\nTo: shop@example.com\nSubject: =?UTF-8?B?" + b64(subject)
                + "?=\nMIME-Version: 1.0\n" + extraHeaders
                + "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64\n\n" + b64(body) + "\n");
}
