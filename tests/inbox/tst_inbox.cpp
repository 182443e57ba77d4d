// The mailbox reader against a private Dovecot holding bounces in the forms
// real servers write, unsubscribe requests and their look-alikes.

#include "addressdb.h"
#include "inboxclassify.h"
#include "inboxreader.h"
#include "mailservers.h"
#include "suppression.h"
#include "unsubscribetoken.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kSecret = "inbox-test-secret";

QByteArray token(const QString &address)
{
    return unsubscribeToken(address, kSecret);
}

QByteArray crlf(QByteArray text)
{
    text.replace("\r\n", "\n");
    text.replace("\n", "\r\n");
    return text;
}

QByteArray b64(const QString &text)
{
    return text.toUtf8().toBase64();
}

// A multipart/report as Postfix writes it.
QByteArray postfixDsn(const QString &to, const QByteArray &action, const QByteArray &status, const QByteArray &diag)
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

QByteArray exchangeDsn(const QString &to)
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

QByteArray gmailDsn(const QString &to)
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
QByteArray japaneseNotice(const QString &to)
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

QByteArray plainNotice(const QString &to, const QByteArray &quoted)
{
    return crlf("From: MAILER-DAEMON@qmail.example\nTo: shop@example.com\nSubject: failure notice\n\n"
                "Hi. This is the qmail-send program at qmail.example.\n"
                "I'm afraid I wasn't able to deliver your message to the following addresses.\n\n<"
                + to.toUtf8()
                + ">:\nRemote host said: 550 5.1.1 User unknown\n\n"
                  "--- Below this line is a copy of the message.\n\n"
                + quoted + "\n");
}

QByteArray personal(const QString &from, const QString &subject, const QByteArray &extraHeaders = {},
                    const QString &body = QStringLiteral("よろしくお願いします。"))
{
    return crlf("From: " + from.toUtf8() + "\nTo: shop@example.com\nSubject: =?UTF-8?B?" + b64(subject)
                + "?=\nMIME-Version: 1.0\n" + extraHeaders
                + "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64\n\n" + b64(body) + "\n");
}

struct Fixture {
    const char *name;
    QByteArray message;
    InboxClassification::Kind kind;
    QString address; // suppressed, or "" for none
};

QList<Fixture> fixtures()
{
    using K = InboxClassification;
    const QString other = QStringLiteral("someone@example.org");
    return {
        {"postfix", postfixDsn(QStringLiteral("a@example.jp"), "failed", "5.1.1", "550 5.1.1 User unknown"), K::Bounce,
         QStringLiteral("a@example.jp")},
        {"exchange", exchangeDsn(QStringLiteral("b@example.jp")), K::Bounce, QStringLiteral("b@example.jp")},
        {"gmail", gmailDsn(QStringLiteral("c@example.jp")), K::Bounce, QStringLiteral("c@example.jp")},
        {"japanese", japaneseNotice(QStringLiteral("d@example.jp")), K::Bounce, QStringLiteral("d@example.jp")},
        {"plain",
         plainNotice(QStringLiteral("e@example.jp"),
                     "Message-ID: <" + token(QStringLiteral("e@example.jp")) + "@example.com>"),
         K::Bounce, QStringLiteral("e@example.jp")},
        {"plain without the original",
         plainNotice(QStringLiteral("f@example.jp"), "Subject: news"),
         K::Undetermined,
         {}},
        {"delayed",
         postfixDsn(QStringLiteral("g@example.jp"), "delayed", "4.4.7", "450 4.4.7 try again later"),
         K::Delayed,
         {}},
        {"token",
         personal(other, QStringLiteral("unsubscribe ") + QString::fromLatin1(token(QStringLiteral("h@example.jp")))),
         K::Unsubscribe, QStringLiteral("h@example.jp")},
        {"subject", personal(QStringLiteral("i@example.jp"), QStringLiteral("Re: 配信停止")), K::Unsubscribe,
         QStringLiteral("i@example.jp")},
        {"out of office",
         personal(QStringLiteral("j@example.jp"), QStringLiteral("Re: 配信停止"), "Auto-Submitted: auto-replied\n"),
         K::Other,
         {}},
        {"reply mentioning it",
         personal(QStringLiteral("k@example.jp"), QStringLiteral("Re: 6月のお知らせ"),
                  "References: <" + token(QStringLiteral("k@example.jp")) + "@example.com>\n",
                  QStringLiteral("配信停止の方法を教えてください。")),
         K::Other,
         {}},
        {"newsletter",
         personal(QStringLiteral("news@example.jp"), QStringLiteral("配信停止"), "List-Id: <news.example.jp>\n"),
         K::Other,
         {}},
        {"forged token",
         personal(other, QStringLiteral("unsubscribe ")
                             + QString::fromLatin1(unsubscribeToken(QStringLiteral("l@example.jp"), "another"))),
         K::Other,
         {}},
        {"broken", QByteArray("\x01\x02 not a message at all\r\n"), K::Broken, {}},
    };
}

// Everyone above has a row, the newsletter's sender too.
const QStringList kRows = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "news"};

bool fillDatabase(AddressDb &db, const QString &path)
{
    if (!db.open(path, true))
        return false;
    for (const QString &r : kRows)
        if (!db.exec(QStringLiteral("INSERT INTO 宛先 (送信区分, メールアドレス) VALUES (1, ?)"),
                     {r + QStringLiteral("@example.jp")}))
            return false;
    return true;
}

} // namespace

class TestInbox : public QObject {
    Q_OBJECT
private slots:
    void classifies_data();
    void classifies();
    void readsTheMailboxOnce();
};

void TestInbox::classifies_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("address");
    for (const Fixture &f : fixtures())
        QTest::newRow(f.name) << f.message << int(f.kind) << f.address;
}

void TestInbox::classifies()
{
    QFETCH(QByteArray, message);
    QFETCH(int, kind);
    QFETCH(QString, address);
    const QStringList known = {QStringLiteral("i@example.jp"), QStringLiteral("j@example.jp"),
                               QStringLiteral("k@example.jp"), QStringLiteral("news@example.jp")};
    const InboxClassification c = classifyInboxMessage(message, kSecret,
                                                       [&](const QString &a) { return known.contains(a); });
    QCOMPARE(int(c.kind), kind);
    if (kind == InboxClassification::Bounce || kind == InboxClassification::Unsubscribe)
        QCOMPARE(c.address, address);
    if (kind == InboxClassification::Bounce)
        QVERIFY2(c.status.startsWith(QLatin1Char('5')), qPrintable(c.status));
}

void TestInbox::readsTheMailboxOnce()
{
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    const QList<Fixture> all = fixtures();
    QStringList expected;
    QStringList left; // what --delete must leave on the server
    for (int i = 0; i < all.size(); ++i) {
        const QString name = QStringLiteral("%1.m%2").arg(1000 + i).arg(i);
        QVERIFY(pop.deliver(QStringLiteral("shop"), name, all[i].message));
        if (!all[i].address.isEmpty())
            expected << all[i].address;
        const auto k = all[i].kind;
        if (k != InboxClassification::Bounce && k != InboxClassification::Unsubscribe
            && k != InboxClassification::Delayed)
            left << name;
    }
    expected.sort();
    left.sort();

    QTemporaryDir dir;
    AddressDb db;
    QVERIFY(fillDatabase(db, dir.filePath(QStringLiteral("a.cdb"))));
    TransportSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.pop3Port = pop.port();
    s.user = QStringLiteral("shop");
    s.password = QStringLiteral("secret");
    InboxOptions o;
    o.seenFile = dir.filePath(QStringLiteral("seen.txt"));
    o.seenKey = QStringLiteral("0 shop");
    o.csvFile = dir.filePath(QStringLiteral("list.csv"));
    o.secret = kSecret;
    o.today = QDate(2026, 12, 9);

    const InboxResult first = readInbox(s, db, o);
    QVERIFY2(first.error.isEmpty(), qPrintable(first.error));
    QCOMPARE(first.read, int(all.size()));
    QStringList suppressed;
    for (const Suppression &x : suppressions(db))
        suppressed << x.address;
    suppressed.sort();
    QCOMPARE(suppressed, expected);
    QCOMPARE(first.deleted, 0);
    QCOMPARE(pop.mailbox(QStringLiteral("shop")).size(), all.size());
    QFile csv(o.csvFile);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray csvBytes = csv.readAll();
    QVERIFY(csvBytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(csvBytes.count("\r\n"), expected.size() + 1);

    // Nothing new the second time; with deletion asked for, the messages
    // acted on go (once read again, as a later mailbox would be).
    const InboxResult second = readInbox(s, db, o);
    QVERIFY2(second.error.isEmpty(), qPrintable(second.error));
    QCOMPARE(second.read, 0);
    QVERIFY(QFile::remove(o.seenFile));
    o.deleteClassified = true;
    const InboxResult third = readInbox(s, db, o);
    QVERIFY2(third.error.isEmpty(), qPrintable(third.error));
    QCOMPARE(third.deleted, int(all.size() - left.size()));
    QCOMPARE(pop.mailbox(QStringLiteral("shop")), left);
}

QTEST_GUILESS_MAIN(TestInbox)
#include "tst_inbox.moc"
