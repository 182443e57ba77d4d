#include "account.h"
#include "bsmtp.h"
#include "mimemessage.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "testutil.h"
#include "textcodec.h"

#include <QtTest>

// The pieces of a send that need no server: arguments, body, the log's
// record format and the wire form of a message.
class TestMime : public QObject {
    Q_OBJECT
private slots:
    void argumentsFollowTheAccount();
    void nameBlockAndBody();
    void checksInTheirOrder();
    void argumentsParseBack();
    void logRecordsAreExactBytes();
    void errorTextKeepsItsFourthComma();
    void headersCannotBeInjected();
    void longJapaneseSubjectFoldsIntoShortLines();
    void attachmentFileNameEncoding();
};

void TestMime::argumentsFollowTheAccount()
{
    AccountRecord a;
    a.szServer = QStringLiteral("smtp.example.jp");
    a.szPort = QStringLiteral("587");
    a.szFromName = QStringLiteral("山田商店");
    a.szFrom = QStringLiteral("info@example.jp");
    a.User = QStringLiteral("info");
    a.UserPass = QStringLiteral("pa:ss");
    a.Check1V = 1;
    QCOMPARE(serverArgument(a), QStringLiteral("smtp.example.jp\t587:60"));
    QCOMPARE(senderArgument(a), QStringLiteral("山田商店<info@example.jp>\tinfo:pa:ss"));
    a.Check1V = 0;
    QCOMPARE(serverArgument(a), QStringLiteral("smtp.example.jp"));
    QCOMPARE(senderArgument(a), QStringLiteral("山田商店<info@example.jp>"));
    QCOMPARE(recipientArgument(QStringLiteral("a@b.jp")), QStringLiteral("<a@b.jp>"));
    QCOMPARE(honorificText(0), QStringLiteral("\u3000様"));
    QCOMPARE(honorificText(0).size(), 2);
    QCOMPARE(honorificText(1), QString());
}

void TestMime::nameBlockAndBody()
{
    const QString A = QStringLiteral("株式会社ABC"), B = QStringLiteral("鈴木一郎"), T = QStringLiteral("本文です。");
    const QString h = honorificText(0);
    QCOMPARE(bodyArgument(nameBlock(1, A, QString(), h), T), A + QStringLiteral("　様\r\n") + T + QStringLiteral("\r\n"));
    QCOMPARE(bodyArgument(nameBlock(1, A, B, h), T),
             A + QStringLiteral("\r\n") + B + QStringLiteral("　様\r\n") + T + QStringLiteral("\r\n"));
    QCOMPARE(bodyArgument(nameBlock(1, A, B, honorificText(1)), T),
             A + QStringLiteral("\r\n") + B + QStringLiteral("\r\n") + T + QStringLiteral("\r\n"));
    QCOMPARE(bodyArgument(nameBlock(0, A, B, h), T), T + QStringLiteral("\r\n"));
}

void TestMime::checksInTheirOrder()
{
    AccountRecord a;
    a.szServer = QStringLiteral("****smtp.example.jp");
    a.szFrom = QStringLiteral("x@example.jp");
    const QString s = QStringLiteral("件名"), b = QStringLiteral("本文");
    // The placeholder mark wins even before a real host name.
    QCOMPARE(checkSendRun(a, 3, s, b), SendCheck::Account);
    a.szServer = QStringLiteral("smtp.example.jp");
    a.szFrom.clear();
    QCOMPARE(checkSendRun(a, 3, s, b), SendCheck::Account);
    a.szFrom = QStringLiteral("x@example.jp");
    a.szServer.clear();
    QCOMPARE(checkSendRun(a, 3, s, b), SendCheck::Account);
    a.szServer = QStringLiteral("smtp.example.jp");
    QCOMPARE(checkSendRun(a, 0, QString(), QString()), SendCheck::EmptyList);
    QCOMPARE(checkSendRun(a, 1, QString(), QString()), SendCheck::EmptySubject);
    QCOMPARE(checkSendRun(a, 1, s, QString()), SendCheck::EmptyBody);
    QCOMPARE(checkSendRun(a, 1, s, b), SendCheck::Ok);
    QCOMPARE(checkSendRun(a, 40000, s, b), SendCheck::Ok);
}

void TestMime::argumentsParseBack()
{
    SmtpServerArgument s = parseServerArgument(QStringLiteral("mail.example.jp\t587:60"));
    QCOMPARE(s.host, QStringLiteral("mail.example.jp"));
    QCOMPARE(s.port, 587);
    QCOMPARE(s.timeout, 60);
    s = parseServerArgument(QStringLiteral("mail.example.jp"));
    QCOMPARE(s.port, 0);
    QCOMPARE(s.timeout, 0);

    SenderArgument f = parseSenderArgument(QStringLiteral("山田 商店<info@example.jp>\tuser:pa:ss"));
    QVERIFY(f.valid);
    QCOMPARE(f.name, QStringLiteral("山田 商店"));
    QCOMPARE(f.address, QStringLiteral("info@example.jp"));
    QVERIFY(f.hasLogin);
    QCOMPARE(f.user, QStringLiteral("user"));
    QCOMPARE(f.password, QStringLiteral("pa:ss"));
    f = parseSenderArgument(QStringLiteral("Shop<info@example.jp>"));
    QVERIFY(f.valid);
    QVERIFY(!f.hasLogin);
    // A line break or bracket inside the address is never accepted.
    QVERIFY(!parseSenderArgument(QStringLiteral("Shop<info@example.jp\r\nRCPT TO:x@y>")).valid);
    QVERIFY(!parseSenderArgument(QStringLiteral("Shop<>")).valid);
    QVERIFY(!parseSenderArgument(QStringLiteral("Shop<a@b.jp>\r\nRCPT TO:<evil@example.net>")).valid);
    QVERIFY(!parseSenderArgument(QStringLiteral("Sh<op><a@b.jp>")).valid);
    QVERIFY(!mime::isSafeAddress("a@b.jp>\r\nDATA"));
    QVERIFY(!mime::isSafeAddress("a b@c.jp"));
    QVERIFY(mime::isSafeAddress("a.b+c@example.co.jp"));
}

void TestMime::logRecordsAreExactBytes()
{
    TestWorld w;
    const QString path = SentMailLog::pathIn(w.dir.path());
    QCOMPARE(path, w.dir.path() + QStringLiteral("/SendMail.Log"));
    QCOMPARE(SentMailLog::pathIn(QStringLiteral("/")), QStringLiteral("/SendMail.Log"));
    writeBytes(path, QByteArray("an older run that must go\r\n"));

    const QDateTime t1(QDate(2005, 4, 1), QTime(9, 5, 7));
    const QDateTime t2(QDate(2005, 12, 31), QTime(23, 59, 0));
    QCOMPARE(SentMailLog::dateTimeText(t1), QStringLiteral("2005/04/01 9:05:07"));
    {
        SentMailLog log;
        QVERIFY(log.open(path, QStringLiteral("山田商店"), QStringLiteral("info@example.jp"),
                         QStringLiteral("smtp.example.jp"), QStringLiteral("ご案内"), t1));
        QVERIFY(log.writeSuccess(QStringLiteral("鈴木"), QString(), QStringLiteral("a@b.jp"), t1));
        // Written through at once: the bytes are on disk before close.
        const QByteArray mid = readBytes(path);
        QVERIFY(mid.endsWith(sjis(QStringLiteral("鈴木,,a@b.jp,送信済,2005/04/01 9:05:07\r\n"))));
        QVERIFY(log.writeError(QStringLiteral("ｶﾌﾞｼｷｶﾞｲｼｬ"), QStringLiteral("佐藤"), QStringLiteral("c@d.jp"),
                               QStringLiteral("550 no"), t2));
        log.close();
    }
    const QByteArray expected = sjis(QStringLiteral(
        "山田商店,info@example.jp,smtp.example.jp,ご案内,2005/04/01 9:05:07\r\n"
        "鈴木,,a@b.jp,送信済,2005/04/01 9:05:07\r\n"
        "ｶﾌﾞｼｷｶﾞｲｼｬ,佐藤,c@d.jp,送信エラー550 no,2005/12/31 23:59:00\r\n"));
    QCOMPARE(readBytes(path), expected);
    // Half-width katakana take one byte each in the file.
    QVERIFY(readBytes(path).contains(QByteArray("\xb6\xcc\xde\xbc\xb7")));

    SentMailLog bad;
    QVERIFY(!bad.open(w.dir.path() + QStringLiteral("/no/such/folder/SendMail.Log"), {}, {}, {}, {}, t1));
    QVERIFY(!bad.errorString().isEmpty());
    QVERIFY(!bad.writeSuccess(QStringLiteral("x"), {}, QStringLiteral("y"), t1));
}

void TestMime::errorTextKeepsItsFourthComma()
{
    QCOMPARE(SentMailLog::mendErrorText(QStringLiteral("a,b,c,d,e")), QStringLiteral("a b c d,e"));
    QCOMPARE(SentMailLog::mendErrorText(QStringLiteral("a,b")), QStringLiteral("a b"));
    QCOMPARE(SentMailLog::errorStatus(QStringLiteral("550 x,y,z,w")), QStringLiteral("送信エラー550 x y z w"));
}

void TestMime::headersCannotBeInjected()
{
    mime::MessageTemplate t;
    t.setFrom(QStringLiteral("Evil\r\nBcc: x@evil.example"), "shop@example.jp");
    t.setSubject(QStringLiteral("Hello\r\nBcc: y@evil.example\nX-Other: 1"));
    const QByteArray m = t.build("to@example.jp", QStringLiteral("body\r\n.\r\nQUIT\r\n"),
                                 QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc()));
    const qsizetype bodyStart = m.indexOf("\r\n\r\n");
    QVERIFY(bodyStart > 0);
    const QByteArray head = m.left(bodyStart + 2);
    QVERIFY(!head.contains("\r\nBcc:"));
    QVERIFY(!head.contains("\r\nX-Other:"));
    QVERIFY(head.contains("Subject: Hello  Bcc: y@evil.example X-Other: 1\r\n"));
    QVERIFY(head.contains("From: \"Evil  Bcc: x@evil.example\" <shop@example.jp>\r\n"));
    QVERIFY(head.contains("Date: 02 Jan 2026 03:04:05 +0000\r\n"));
    QVERIFY(head.contains("\r\nMessage-ID: <"));
    // The text travels in base64, so no line of it can be a command.
    QVERIFY(!m.mid(bodyStart).contains("QUIT"));
    QCOMPARE(QByteArray::fromBase64(m.mid(bodyStart + 4)), QByteArray("body\r\n.\r\nQUIT\r\n"));
    // Every message gets its own id.
    const QByteArray m2 = t.build("to@example.jp", QStringLiteral("x"), QDateTime::currentDateTime());
    auto id = [](const QByteArray &msg) {
        const qsizetype i = msg.indexOf("Message-ID: ");
        return msg.mid(i, msg.indexOf("\r\n", i) - i);
    };
    QVERIFY(id(m) != id(m2));
}

void TestMime::longJapaneseSubjectFoldsIntoShortLines()
{
    const QString subject = QStringLiteral("【重要】年末年始の営業日のご案内と新商品のお知らせ、および会員様限定セールについて（第二版）");
    mime::MessageTemplate t;
    t.setFrom(QStringLiteral("山田商店"), "shop@example.jp");
    t.setSubject(subject);
    const QByteArray m = t.build("to@example.jp", QStringLiteral("x"), QDateTime::currentDateTime());
    const QByteArray head = m.left(m.indexOf("\r\n\r\n"));
    for (const QByteArray &line : head.split('\n'))
        QVERIFY2(line.size() <= 77, line.constData()); // 76 and the CR
    // Decoding the encoded words gives the subject back.
    const qsizetype s = head.indexOf("Subject: ");
    const QByteArray value = head.mid(s + 9, head.indexOf("\r\nMessage-ID") - s - 9);
    QByteArray utf8;
    for (QByteArray word : value.split(' ')) {
        word = word.trimmed();
        if (word.isEmpty())
            continue;
        QVERIFY(word.startsWith("=?UTF-8?B?") && word.endsWith("?="));
        utf8 += QByteArray::fromBase64(word.mid(10, word.size() - 12));
    }
    QCOMPARE(QString::fromUtf8(utf8), subject);
}

void TestMime::attachmentFileNameEncoding()
{
    QCOMPARE(mime::fileNameParameter(QStringLiteral("a b.txt")), QByteArray("filename*=UTF-8''a%20b.txt"));
    const QByteArray longName = mime::fileNameParameter(QStringLiteral("とても長いファイル名の添付資料です.pdf"));
    QVERIFY(longName.startsWith("filename*0*=UTF-8''%E3%81%A8"));
    QVERIFY(longName.contains(";\r\n filename*1*="));
    // No continuation splits a %XX escape.
    for (const QByteArray &piece : longName.split('\n')) {
        const QByteArray v = piece.mid(piece.indexOf('=') + 1);
        const qsizetype pct = v.lastIndexOf('%');
        QVERIFY(pct < 0 || v.size() - pct >= 3 || v.endsWith(";\r"));
    }
    TestWorld w;
    QString err;
    mime::Attachment a;
    QVERIFY(!mime::loadAttachment(w.path(QStringLiteral("missing.bin")), &a, &err));
    QVERIFY(err.contains(QStringLiteral("missing.bin")));
}

QTEST_GUILESS_MAIN(TestMime)
#include "tst_mime.moc"
