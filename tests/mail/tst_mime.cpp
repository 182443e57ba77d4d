#include "account.h"
#include "dryrun.h"
#include "mailaddress.h"
#include "messageview.h"
#include "mimemessage.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "testutil.h"
#include "textcodec.h"

#include <QtTest>
#include <sys/stat.h>

// The pieces of a send that need no server: arguments, body, the log's
// record format and the wire form of a message.
class TestMime : public QObject {
    Q_OBJECT
private slots:
    void transportFollowsTheAccount();
    void securityFollowsTheAccount_data();
    void securityFollowsTheAccount();
    void nameBlockAndBody();
    void checksInTheirOrder();
    void addressRule_data();
    void addressRule();
    void logRecordsAreExactBytes();
    void errorTextKeepsItsFourthComma();
    void headersCannotBeInjected();
    void headerTextThatReadsAsAnEncodedWordIsEncoded_data();
    void headerTextThatReadsAsAnEncodedWordIsEncoded();
    void longJapaneseSubjectFoldsIntoShortLines();
    void attachmentFileNameEncoding();
    void attachmentTypeFollowsTheBytes_data();
    void attachmentTypeFollowsTheBytes();
    void eachHeadJoinsTheSharedText();
    void longFromNameStaysWithinTheLineLimit();
    void builtMessageReadsBack();
    void dryRunFilesAreReadableByTheUserOnly();
};

void TestMime::transportFollowsTheAccount()
{
    AccountRecord a;
    a.szServer = QStringLiteral(" smtp.example.jp ");
    a.szPort = QStringLiteral("587");
    a.User = QStringLiteral("info");
    a.UserPass = QStringLiteral("pa:ss");
    a.Check1V = 1;
    TransportSettings s = transportSettings(a);
    QCOMPARE(s.host, QStringLiteral("smtp.example.jp"));
    QCOMPARE(s.smtpPort, 587);
    QVERIFY(s.smtpAuth && !s.smtpImplicitTls && !s.allowCleartextPassword);
    QCOMPARE(s.password, QStringLiteral("pa:ss"));
    QCOMPARE(s.timeoutSeconds, 0);
    // The port holds whether SMTP AUTH is on or off; 465 is TLS from the start.
    a.Check1V = 0;
    a.szPort = QStringLiteral("465");
    a.Check3V = 1;
    a.CaFile = QStringLiteral("/account-ca.pem");
    a.PinnedKeys = QStringLiteral("sha256//a;sha256//b");
    QCOMPARE(transportSettings(a).extraCaFile, a.CaFile);
    QCOMPARE(transportSettings(a).pinnedKeys, a.PinnedKeys);
    // The command's --ca-file takes the account's place.
    s = transportSettings(a, TransportOptions{60, QStringLiteral("/ca.pem"), {}});
    QVERIFY(!s.smtpAuth && s.smtpImplicitTls && s.allowCleartextPassword);
    QCOMPARE(s.smtpPort, 465);
    QCOMPARE(s.extraCaFile, QStringLiteral("/ca.pem"));
    a.szPort = QString();
    QCOMPARE(transportSettings(a).smtpPort, 25);
    a.szPort = QStringLiteral("25x");
    QCOMPARE(transportSettings(a).smtpPort, 0); // refused when connecting
    QCOMPARE(honorificText(true), QStringLiteral("\u3000様"));
    QCOMPARE(honorificText(false), QString());
}

void TestMime::securityFollowsTheAccount_data()
{
    QTest::addColumn<bool>("pop3");
    QTest::addColumn<int>("security"); // ConnectionSecurity
    QTest::addColumn<QString>("port"); // as the account holds it
    QTest::addColumn<int>("used");     // the port connected to; 0: refused when connecting
    QTest::addColumn<bool>("implicitTls");
    QTest::addColumn<bool>("upgradeRequired");
    const int autoTls = int(ConnectionSecurity::Auto), startTls = int(ConnectionSecurity::StartTls),
              tls = int(ConnectionSecurity::Tls);
    QTest::newRow("SMTP 自動 on 587") << false << autoTls << "587" << 587 << false << false;
    QTest::newRow("SMTP 自動 on 465") << false << autoTls << "465" << 465 << true << false;
    QTest::newRow("SMTP STARTTLS on 587") << false << startTls << "587" << 587 << false << true;
    QTest::newRow("SMTP STARTTLS even on 465") << false << startTls << "465" << 465 << false << true;
    QTest::newRow("SMTP SSL/TLS on 2465") << false << tls << "2465" << 2465 << true << false;
    QTest::newRow("POP3 自動 on 110") << true << autoTls << "110" << 110 << false << false;
    QTest::newRow("POP3 自動 on 995") << true << autoTls << "995" << 995 << true << false;
    QTest::newRow("POP3 自動, no port") << true << autoTls << "" << 110 << false << false;
    QTest::newRow("POP3 SSL/TLS, no port") << true << tls << "" << 995 << true << false;
    QTest::newRow("POP3 STARTTLS on 110") << true << startTls << "110" << 110 << false << true;
    QTest::newRow("POP3 port of letters") << true << autoTls << "pop" << 0 << false << false;
}

void TestMime::securityFollowsTheAccount()
{
    QFETCH(bool, pop3);
    QFETCH(int, security);
    QFETCH(QString, port);
    QFETCH(int, used);
    QFETCH(bool, implicitTls);
    QFETCH(bool, upgradeRequired);
    AccountRecord a;
    a.szServer = QStringLiteral("mail.example.jp");
    (pop3 ? a.Pop3Port : a.szPort) = port;
    (pop3 ? a.Pop3Security : a.SmtpSecurity) = connectionSecurity(qint16(security));
    const TransportSettings s = transportSettings(a);
    QCOMPARE(pop3 ? s.pop3Port : s.smtpPort, used);
    QCOMPARE(pop3 ? s.pop3ImplicitTls : s.smtpImplicitTls, implicitTls);
    QCOMPARE(pop3 ? s.pop3StlsRequired : s.smtpStartTlsRequired, upgradeRequired);
}

void TestMime::nameBlockAndBody()
{
    const QString A = QStringLiteral("株式会社ABC"), B = QStringLiteral("鈴木一郎"), T = QStringLiteral("本文です。");
    const QString h = honorificText(true);
    QCOMPARE(bodyArgument(nameBlock(true, A, QString(), h), T),
             A + QStringLiteral("　様\r\n") + T + QStringLiteral("\r\n"));
    QCOMPARE(bodyArgument(nameBlock(true, A, B, h), T),
             A + QStringLiteral("\r\n") + B + QStringLiteral("　様\r\n") + T + QStringLiteral("\r\n"));
    QCOMPARE(bodyArgument(nameBlock(true, A, B, honorificText(false)), T),
             A + QStringLiteral("\r\n") + B + QStringLiteral("\r\n") + T + QStringLiteral("\r\n"));
    QCOMPARE(bodyArgument(nameBlock(false, A, B, h), T), T + QStringLiteral("\r\n"));
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

void TestMime::addressRule_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("wire"); // empty: refused
    QTest::addColumn<QString>("wireUtf8");
    QTest::addColumn<bool>("smtpUtf8");
    QTest::addColumn<QString>("problem");
    QTest::newRow("plain") << "a.b+c@example.co.jp" << QByteArray("a.b+c@example.co.jp") << "a.b+c@example.co.jp"
                           << false << "";
    QTest::newRow("domain outside ASCII")
        << "info@例え.jp" << QByteArray("info@xn--r8jz45g.jp") << "info@例え.jp" << false << "";
    QTest::newRow("local part outside ASCII")
        << "jörg@example.de" << QByteArray("j\xc3\xb6rg@example.de") << "jörg@example.de" << true << "";
    // Domains whose transitional reading is another, registered domain.
    QTest::newRow("sharp s kept") << "info@straße.de" << QByteArray("info@xn--strae-oqa.de") << "info@straße.de"
                                  << false << "";
    QTest::newRow("final sigma kept") << "info@βόλος.gr" << QByteArray("info@xn--nxasmm1c.gr") << "info@βόλος.gr"
                                      << false << "";
    QTest::newRow("ZWNJ after a virama kept")
        << "info@क्\u200Cष.in" << QByteArray("info@xn--11b2ezcs70k.in") << "info@क्\u200Cष.in" << false << "";
    QTest::newRow("upper-case and full-width mapped")
        << "Info@ＢÜCHER.Example" << QByteArray("Info@xn--bcher-kva.example") << "Info@bücher.example" << false << "";
    QTest::newRow("ZWNJ between Latin letters")
        << "info@ab\u200Ccd.de" << QByteArray() << "" << false << "an invalid domain name";
    QTest::newRow("full-width bracket in domain")
        << "info@例え＜.jp" << QByteArray() << "" << false << "an invalid domain name";
    QTest::newRow("left-to-right and Hebrew in a label")
        << "info@aא.de" << QByteArray() << "" << false << "an invalid domain name";
    QTest::newRow("blank") << "a b@example.jp" << QByteArray() << "" << false << "a blank";
    QTest::newRow("ideographic space") << "a\u3000b@example.jp" << QByteArray() << "" << false << "a blank";
    QTest::newRow("comma") << "a,b@example.jp" << QByteArray() << "" << false << "a comma";
    QTest::newRow("second @") << "a@b@example.jp" << QByteArray() << "" << false << "not exactly one @";
    QTest::newRow("no @") << "example.jp" << QByteArray() << "" << false << "not exactly one @";
    QTest::newRow("nothing before @") << "@example.jp" << QByteArray() << "" << false
                                      << "nothing before or after the @";
    QTest::newRow("line break") << "a@b.jp\r\nDATA" << QByteArray() << "" << false
                                << "a line break or control character";
    QTest::newRow("bracket") << "a@b.jp>" << QByteArray() << "" << false << "an angle bracket";
    const QString local254(245, QLatin1Char('a'));
    QTest::newRow("254 octets") << local254 + "@12345.jp" << local254.toLatin1() + "@12345.jp" << local254 + "@12345.jp"
                                << false << "";
    QTest::newRow("255 octets") << QString(246, QLatin1Char('a')) + "@12345.jp" << QByteArray() << "" << false
                                << "longer than 254 octets";
}

void TestMime::addressRule()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, wire);
    QFETCH(QString, wireUtf8);
    QFETCH(bool, smtpUtf8);
    QFETCH(QString, problem);
    const MailAddress m = parseMailAddress(address);
    QCOMPARE(addressProblemText(m.problem), problem);
    if (m.isValid()) {
        QCOMPARE(m.wire, wire);
        QCOMPARE(QString::fromUtf8(m.wireUtf8), wireUtf8);
        QCOMPARE(m.needsSmtpUtf8, smtpUtf8);
    }
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
    const QByteArray expected = sjis(
        QStringLiteral("山田商店,info@example.jp,smtp.example.jp,ご案内,2005/04/01 9:05:07\r\n"
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
    mime::MessageBuilder t;
    t.setFrom(QStringLiteral("Evil\r\nBcc: x@evil.example"), "shop@example.jp");
    t.setSubject(QStringLiteral("Hello\r\nBcc: y@evil.example\nX-Other: 1"));
    t.setSharedText(QStringLiteral("\r\n.\r\nQUIT\r\n"));
    const QByteArray m = t.build("to@example.jp", QStringLiteral("body"),
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
    const QByteArray m2 = t.build("to@example.jp", QString(), QDateTime::currentDateTime());
    auto id = [](const QByteArray &msg) {
        const qsizetype i = msg.indexOf("Message-ID: ");
        return msg.mid(i, msg.indexOf("\r\n", i) - i);
    };
    QVERIFY(id(m) != id(m2));
}

void TestMime::headerTextThatReadsAsAnEncodedWordIsEncoded_data()
{
    QTest::addColumn<QString>("text"); // the subject and the sender name
    QTest::addColumn<bool>("encoded");
    QTest::newRow("an encoded word") << "=?UTF-8?B?5pel5pys?=" << true;
    QTest::newRow("a Q word among words") << "Sale =?ISO-8859-1?Q?caf=E9?= today" << true;
    QTest::newRow("marks without blanks") << "x=?a?b?c?=y" << true;
    QTest::newRow("an opening mark alone") << "1 =? 2" << false;
    QTest::newRow("closing mark before opening") << "a ?= b =? c" << false;
}

void TestMime::headerTextThatReadsAsAnEncodedWordIsEncoded()
{
    QFETCH(QString, text);
    QFETCH(bool, encoded);
    mime::MessageBuilder b;
    b.setFrom(text, "shop@example.jp");
    b.setSubject(text);
    b.setSharedText(QStringLiteral("x"));
    const QByteArray m = b.build("to@example.jp", QString(), QDateTime::currentDateTime());
    const QByteArray head = m.left(m.indexOf("\r\n\r\n"));
    // Encoded, the text never stands in the head as it is; either way a
    // reader gets it back unchanged.
    QCOMPARE(head.contains(text.toLatin1()), !encoded);
    const MessageView v = viewMessage(m);
    QCOMPARE(v.subject, text);
    QCOMPARE(v.from, encoded ? text + QStringLiteral(" <shop@example.jp>")
                             : QLatin1Char('"') + text + QStringLiteral("\" <shop@example.jp>"));
}

void TestMime::longJapaneseSubjectFoldsIntoShortLines()
{
    const QString subject = QStringLiteral(
        "【重要】年末年始の営業日のご案内と新商品のお知らせ、および会員様限定セールについて（第二版）");
    mime::MessageBuilder t;
    t.setFrom(QStringLiteral("山田商店"), "shop@example.jp");
    t.setSubject(subject);
    t.setSharedText(QStringLiteral("x"));
    const QByteArray m = t.build("to@example.jp", QString(), QDateTime::currentDateTime());
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

void TestMime::attachmentTypeFollowsTheBytes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("type");
    QTest::newRow("UTF-8 text") << "メモ.txt" << QStringLiteral("添付①").toUtf8()
                                << QByteArray("text/plain; charset=UTF-8");
    QTest::newRow("Shift_JIS text") << "memo.txt" << sjis(QStringLiteral("添付の説明"))
                                    << QByteArray("text/plain; charset=Shift_JIS");
    QTest::newRow("ASCII csv") << "list.csv" << QByteArray("a,b\r\n") << QByteArray("text/csv; charset=UTF-8");
    QTest::newRow("text of neither") << "odd.txt" << QByteArray("\xff\xfe\xfd")
                                     << QByteArray("application/octet-stream");
    QTest::newRow("pdf by its name") << "price.pdf" << QByteArray("%PDF-1.4") << QByteArray("application/pdf");
    QTest::newRow("no known name") << "data.zzq" << QByteArray("x") << QByteArray("application/octet-stream");
}

void TestMime::attachmentTypeFollowsTheBytes()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, type);
    QCOMPARE(mime::attachmentContentType(name, bytes), type);
}

void TestMime::eachHeadJoinsTheSharedText()
{
    // Whatever the length of a head, the text decodes to head + shared text,
    // and no line of the message starts with a dot.
    mime::MessageBuilder t;
    t.setFrom(QStringLiteral("店"), "shop@example.jp");
    t.setSubject(QStringLiteral("件名"));
    const QString shared = QStringLiteral(".本文😀\r\n.second line\r\n");
    t.setSharedText(shared);
    for (const QString &head : {QString(), QStringLiteral("a"), QStringLiteral("ab"), QStringLiteral("様"),
                                QStringLiteral("株式会社\r\n鈴木　様\r\n"), QStringLiteral("𠮷x")}) {
        const QByteArray m = t.build("to@example.jp", head, QDateTime::currentDateTime());
        const qsizetype body = m.indexOf("\r\n\r\n") + 4;
        QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(m.mid(body))), head + shared);
        QVERIFY(!m.startsWith('.') && !m.contains("\n."));
        for (const QByteArray &line : m.split('\n'))
            QVERIFY(line.size() <= 77);
    }
}

void TestMime::longFromNameStaysWithinTheLineLimit()
{
    // Quotes double when escaped; a name that would overrun the line is
    // encoded and folded instead.
    for (const QString &name : {QString(552, QLatin1Char('"')), QString(990, QLatin1Char('n'))}) {
        mime::MessageBuilder t;
        t.setFrom(name, QByteArray(240, 'a') + "@example.jp");
        t.setSharedText(QStringLiteral("x"));
        const QByteArray m = t.build("to@example.jp", QString(), QDateTime::currentDateTime());
        for (const QByteArray &line : m.split('\n'))
            QVERIFY2(line.size() <= 999, line.left(40).constData());
        QVERIFY(m.contains("=?UTF-8?B?"));
    }
}

void TestMime::builtMessageReadsBack()
{
    TestWorld w;
    const QString longName = QStringLiteral("とても長いファイル名の添付資料です😀①.pdf");
    writeBytes(w.path(longName), QByteArray(1234, 'x'));
    writeBytes(w.path(QStringLiteral("a b.txt")), QByteArray("text"));
    QList<mime::Attachment> parts;
    for (const QString &name : {longName, QStringLiteral("a b.txt")}) {
        mime::Attachment a;
        QString error;
        QVERIFY(mime::loadAttachment(w.path(name), &a, &error));
        parts << a;
    }
    const QString subject = QStringLiteral("【重要】年末年始の営業日のご案内と新商品のお知らせ 😀 ¥〜");
    for (const bool attached : {false, true}) {
        mime::MessageBuilder b;
        b.setFrom(QStringLiteral("山田商店 𠮷"), "shop@example.jp");
        b.setSubject(subject);
        b.setSharedText(QStringLiteral("本文です。\r\n"));
        if (attached)
            b.setAttachments(parts);
        const QByteArray m = b.build("to@example.jp", QStringLiteral("鈴木　様\r\n"), QDateTime::currentDateTime());
        const MessageView v = viewMessage(m);
        QCOMPARE(v.from, QStringLiteral("山田商店 𠮷 <shop@example.jp>"));
        QCOMPARE(v.to, QStringLiteral("<to@example.jp>"));
        QCOMPARE(v.subject, subject);
        QCOMPARE(v.text, QStringLiteral("鈴木　様\r\n本文です。\r\n"));
        QCOMPARE(v.size, m.size());
        QCOMPARE(v.attachments.size(), attached ? 2 : 0);
        if (attached) {
            QCOMPARE(v.attachments[0].fileName, longName);
            QCOMPARE(v.attachments[0].size, 1234);
            QCOMPARE(v.attachments[1].fileName, QStringLiteral("a b.txt"));
        }
    }
}

void TestMime::dryRunFilesAreReadableByTheUserOnly()
{
    TestWorld w;
    const QString folder = w.path(QStringLiteral("dry"));
    auto mode = [](const QString &path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    };
    // Files of an earlier run, readable by everyone, are written over.
    QDir().mkpath(folder);
    for (const QString &name : {QStringLiteral("envelope.csv"), QStringLiteral("00001.eml")}) {
        writeBytes(folder + QLatin1Char('/') + name, "old");
        QFile::setPermissions(folder + QLatin1Char('/') + name, QFileDevice::Permissions(0x6644));
        QCOMPARE(mode(folder + QLatin1Char('/') + name), 0644);
    }
    QString error;
    QVERIFY2(DryRunTransport::prepareFolder(folder, &error), qPrintable(error));
    DryRunTransport t(folder, &error);
    const Envelope e{parseMailAddress(QStringLiteral("shop@example.jp")), parseMailAddress(QStringLiteral("a@x.jp"))};
    for (int i = 0; i < 2; ++i) {
        t.start(e, "Subject: x\r\n\r\nbody\r\n", nullptr);
        QCOMPARE(t.finish().text, QString());
    }
    t.end();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    for (const QString &name :
         {QStringLiteral("envelope.csv"), QStringLiteral("00001.eml"), QStringLiteral("00002.eml")})
        QCOMPARE(mode(folder + QLatin1Char('/') + name), 0600);
    QCOMPARE(readBytes(folder + QStringLiteral("/00002.eml")), QByteArray("Subject: x\r\n\r\nbody\r\n"));
    QCOMPARE(readBytes(folder + QStringLiteral("/envelope.csv")),
             QByteArray("1,shop@example.jp,a@x.jp\r\n2,shop@example.jp,a@x.jp\r\n"));
}

QTEST_GUILESS_MAIN(TestMime)
#include "tst_mime.moc"
