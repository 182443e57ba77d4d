#include "account.h"
#include "curltransport.h"
#include "fakemailtransport.h"
#include "runfixture.h"
#include "mailservers.h"
#include "sendlist.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "testutil.h"
#include "textcodec.h"

#include <QtTest>
#include <functional>

namespace {

void fillThree(SendList &list)
{
    list.append(QStringLiteral("株式会社ミナト"), QStringLiteral("営業部　佐藤花子"), QStringLiteral("sato@example.jp"));
    list.append(QStringLiteral("鈴木一郎"), QString(), QStringLiteral("suzuki@example.jp"));
    list.append(QStringLiteral("ﾀﾅｶ ｼｮｳｼﾞ"), QString(), QStringLiteral("tanaka@example.jp"));
}

} // namespace

class TestSendRun : public QObject {
    Q_OBJECT
private slots:
    void init();
    void threeEntriesArriveIntactOverOneConnection();
    void everyEntryGetsItsRecordAndTheRunCompletes();
    void stoppingRepliesAbortAndKeepTheList();
    void unreachableOrRefusedLoginAborts();
    void refusedRecipientIsLoggedWithTheMend();
    void injectionAttemptsAreRefused();
    void popBeforeSmtp();
    void listsLongerThanSixteenBitsAreSentWhole();
    void unwritableLogFails();

private:
    std::unique_ptr<TestWorld> w;
    SendRunEnvironment env;
    FakeMailTransport fake;
};

void TestSendRun::init()
{
    w = std::make_unique<TestWorld>();
    env = SendRunEnvironment();
    env.logPath = SentMailLog::pathIn(w->dir.path());
    env.now = [] { return kClock; };
    fake = FakeMailTransport();
}

void TestSendRun::threeEntriesArriveIntactOverOneConnection()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::Auth, QStringLiteral("shop"), QStringLiteral("secret")),
             qPrintable(smtp.error()));
    const QString pdf = w->path(QStringLiteral("価格表 2026.pdf"));
    QByteArray binary;
    for (int i = 0; i < 5000; ++i)
        binary.append(static_cast<char>((i * 37) & 0xff));
    writeBytes(pdf, binary);
    const QString txt = w->path(QStringLiteral("notes.txt"));
    writeBytes(txt, sjis(QStringLiteral("添付の説明\r\n")));

    fillThree(w->sendList);
    Inputs in;
    in.attachments = pdf + QLatin1Char('\t') + txt;
    const SendRunResult r = runSend(account(smtp.port(), true), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, 3);
    QCOMPARE(w->sendList.count(), 0);
    QCOMPARE(in.maximum, 3);
    QCOMPARE(in.progress, (QList<qsizetype>{1, 2, 3}));

    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 3);
    const QStringList blocks = {QStringLiteral("株式会社ミナト\r\n営業部　佐藤花子　様\r\n"),
                                QStringLiteral("鈴木一郎　様\r\n"), QStringLiteral("ﾀﾅｶ ｼｮｳｼﾞ　様\r\n")};
    const QStringList to = {QStringLiteral("sato@example.jp"), QStringLiteral("suzuki@example.jp"),
                            QStringLiteral("tanaka@example.jp")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(got[i].envelopeFrom, QStringLiteral("shop@example.jp"));
        QCOMPARE(got[i].envelopeTo, QStringList{to[i]});
        QCOMPARE(got[i].to, to[i]);
        QCOMPARE(got[i].from, QStringLiteral("山田商店 <shop@example.jp>"));
        QCOMPARE(got[i].subject, in.subjectText);
        QCOMPARE(got[i].text, blocks[i] + QStringLiteral("いつもお世話になっております。\r\n新商品のご案内です。\r\n"));
        QCOMPARE(got[i].attachments.size(), 2);
        QCOMPARE(got[i].attachments[0].fileName, QStringLiteral("価格表 2026.pdf"));
        QCOMPARE(got[i].attachments[0].bytes, binary);
        QCOMPARE(got[i].attachments[1].fileName, QStringLiteral("notes.txt"));
        QCOMPARE(got[i].attachments[1].bytes, sjis(QStringLiteral("添付の説明\r\n")));
        QVERIFY(got[i].headerNames.contains(QStringLiteral("Date")));
        QVERIFY(got[i].headerNames.contains(QStringLiteral("Message-ID")));
        QVERIFY(got[i].headerNames.contains(QStringLiteral("MIME-Version")));
    }
    QCOMPARE(smtp.connectionCount(), 1);

    const QByteArray expected = sjis(QStringLiteral(
        "山田商店,shop@example.jp,127.0.0.1,春のご案内【第1号】,2005/04/01 9:05:07\r\n"
        "株式会社ミナト,営業部　佐藤花子,sato@example.jp,送信済,2005/04/01 9:05:07\r\n"
        "鈴木一郎,,suzuki@example.jp,送信済,2005/04/01 9:05:07\r\n"
        "ﾀﾅｶ ｼｮｳｼﾞ,,tanaka@example.jp,送信済,2005/04/01 9:05:07\r\n"));
    QCOMPARE(readBytes(env.logPath), expected);

    // A second run replaces the log; no honorific, no name block.
    w->sendList.append(QStringLiteral("高橋"), QString(), QStringLiteral("takahashi@example.jp"));
    Inputs plain;
    plain.check1 = 0;
    env.now = [] { return QDateTime(QDate(2005, 4, 2), QTime(10, 0, 0)); };
    QCOMPARE(runSend(account(smtp.port(), true), w->sendList, plain, env).accepted, 1);
    QCOMPARE(smtp.messages().last().text, QStringLiteral("いつもお世話になっております。\r\n新商品のご案内です。\r\n"));
    QCOMPARE(smtp.messages().last().attachments.size(), 0);
    QCOMPARE(logLines(env.logPath).size(), 2);
    QCOMPARE(logLines(env.logPath).at(1), QStringLiteral("高橋,,takahashi@example.jp,送信済,2005/04/02 10:00:00"));
}

void TestSendRun::everyEntryGetsItsRecordAndTheRunCompletes()
{
    // Refusals by the server and by the address rule; none stops the run.
    const QString fourCommas = QStringLiteral("550 5.1.1 unknown,no mailbox,try later,thanks,bye");
    const QString essay = QStringLiteral("550 ") + QString(100000, QLatin1Char('x'));
    fake.replyTo.insert("refused@example.jp", fourCommas);
    fake.replyTo.insert("essay@example.jp", essay);
    const QStringList addresses = {
        QStringLiteral("ok@example.jp"),     QStringLiteral("a b@example.jp"), QStringLiteral("a,b@example.jp"),
        QStringLiteral("a@b@example.jp"),    QStringLiteral("noat"),           QStringLiteral("refused@example.jp"),
        QString(250, QLatin1Char('l')) + QStringLiteral("@x.jp"), QStringLiteral("essay@example.jp"),
        QStringLiteral("jörg@exämple.de"),   QStringLiteral("last@example.jp")};
    for (const QString &a : addresses)
        w->sendList.append(QStringLiteral("名"), QString(), a);
    Inputs in;
    env.makeTransport = fake.factory();
    const SendRunResult r = runSend(account(2525), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, 3);
    QCOMPARE(w->sendList.count(), 0);
    QCOMPARE(fake.ends, 1);
    // Only usable addresses reach the transport; a domain outside ASCII goes
    // in its ASCII form, a local part outside ASCII asks for SMTPUTF8; each
    // call announces the next usable entry, skipping refused ones.
    QCOMPARE(fake.recipients(), (QByteArrayList{"ok@example.jp", "refused@example.jp", "essay@example.jp",
                                                "j\xc3\xb6rg@xn--exmple-cua.de", "last@example.jp"}));
    QCOMPARE(fake.calls[0].nextTo, std::optional<QByteArray>("refused@example.jp"));
    QVERIFY(fake.calls[3].envelope.to.needsSmtpUtf8);
    QCOMPARE(fake.calls[4].nextTo, std::nullopt);

    const QStringList lines = logLines(env.logPath);
    QCOMPARE(lines.size(), addresses.size() + 1);
    QCOMPARE(lines[2], QStringLiteral("名,,a b@example.jp,送信エラーInvalid recipient address (a blank): a b@example.jp,"
                                      "2005/04/01 9:05:07"));
    QVERIFY(lines[3].contains(QStringLiteral("送信エラーInvalid recipient address (a comma)")));
    QVERIFY(lines[4].contains(QStringLiteral("(not exactly one @)")));
    QVERIFY(lines[5].contains(QStringLiteral("(not exactly one @)")));
    QCOMPARE(lines[6], QStringLiteral("名,,refused@example.jp,送信エラー550 5.1.1 unknown no mailbox try later thanks,bye,"
                                      "2005/04/01 9:05:07"));
    QVERIFY(lines[7].contains(QStringLiteral("(longer than 254 octets)")));
    // A long reply is cut to 512 characters in its record.
    QCOMPARE(lines[8], QStringLiteral("名,,essay@example.jp,送信エラー") + essay.left(512)
                           + QStringLiteral(",2005/04/01 9:05:07"));
    QVERIFY(lines[10].startsWith(QStringLiteral("名,,last@example.jp,送信済,")));

    // A sender address the rule refuses is named in every entry's record,
    // with SMTP AUTH on or off.
    for (const bool auth : {false, true}) {
        w->sendList.append(QStringLiteral("一"), QString(), QStringLiteral("one@example.jp"));
        AccountRecord a = account(2525, auth);
        a.szFrom = QStringLiteral("shop at example.jp");
        fake.calls.clear();
        QCOMPARE(runSend(a, w->sendList, in, env).accepted, 0);
        QVERIFY(fake.calls.isEmpty());
        QVERIFY(logLines(env.logPath).last().contains(
            QStringLiteral("送信エラーInvalid sender address (a blank): shop at example.jp,")));
    }
    // A missing attachment is named in the log as it is spelt.
    w->sendList.append(QStringLiteral("一"), QString(), QStringLiteral("one@example.jp"));
    in.attachments = w->path(QStringLiteral("見積書.pdf"));
    QCOMPARE(runSend(account(2525), w->sendList, in, env).accepted, 0);
    QVERIFY2(logLines(env.logPath).last().contains(QStringLiteral("送信エラーAttachment not readable: ")
                                                   + w->path(QStringLiteral("見積書.pdf"))),
             qPrintable(logLines(env.logPath).last()));
}

void TestSendRun::stoppingRepliesAbortAndKeepTheList()
{
    // Whatever the transport says with these words stops the run at once.
    for (const QString &reply : {QStringLiteral("Cant connect Server (mail.example.jp:587: timed out)"),
                                 QStringLiteral("AUTH LOGIN failed (535 5.7.8 bad credentials)")}) {
        init();
        for (int i = 0; i < 5; ++i)
            w->sendList.append(QStringLiteral("宛先%1").arg(i), QString(), QStringLiteral("r%1@example.jp").arg(i));
        fake.replyTo.insert("r2@example.jp", reply);
        env.makeTransport = fake.factory();
        Inputs in;
        const SendRunResult r = runSend(account(587), w->sendList, in, env);
        QCOMPARE(r.outcome, SendRunResult::Outcome::Aborted);
        QCOMPARE(r.text, reply);
        QCOMPARE(r.accepted, 2);
        QCOMPARE(w->sendList.count(), 5);
        QCOMPARE(fake.calls.size(), 3);
        QCOMPARE(fake.ends, 1);
        const QStringList lines = logLines(env.logPath);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[2], QStringLiteral("宛先1,,r1@example.jp,送信済,2005/04/01 9:05:07"));
    }
}

void TestSendRun::unreachableOrRefusedLoginAborts()
{
    // Nothing listens on the account's port, SMTP AUTH on or off.
    fillThree(w->sendList);
    Inputs in;
    for (const bool auth : {false, true}) {
        const int port = unusedLoopbackPort();
        const SendRunResult r = runSend(account(port, auth), w->sendList, in, env);
        QCOMPARE(r.outcome, SendRunResult::Outcome::Aborted);
        QVERIFY2(r.text.contains(QStringLiteral("Cant connect Server (127.0.0.1:%1").arg(port)), qPrintable(r.text));
        QCOMPARE(w->sendList.count(), 3);
        QCOMPARE(logLines(env.logPath),
                 QStringList{QStringLiteral("山田商店,shop@example.jp,127.0.0.1,春のご案内【第1号】,2005/04/01 9:05:07")});
    }

    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::Auth, QStringLiteral("shop"), QStringLiteral("secret")),
             qPrintable(smtp.error()));
    const SendRunResult r = runSend(account(smtp.port(), true, QStringLiteral("wrong")), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(r.text.contains(QStringLiteral("AUTH LOGIN")) && r.text.contains(QStringLiteral("535")), qPrintable(r.text));
    QCOMPARE(w->sendList.count(), 3);
    QCOMPARE(logLines(env.logPath).size(), 1);
    QCOMPARE(smtp.messages().size(), 0);

    // The server goes away before the third message, whose envelope it had
    // already taken: that message is lost, the reconnection fails and the
    // run stops with the records so far.
    w->sendList.clear();
    for (int i = 0; i < 5; ++i)
        w->sendList.append(QStringLiteral("宛先%1").arg(i), QString(), QStringLiteral("r%1@example.jp").arg(i));
    auto gone = std::make_unique<SmtpTestServer>();
    QVERIFY2(gone->start(), qPrintable(gone->error()));
    in.onProgress = [&](qsizetype v) { if (v == 3) gone->stop(); };
    const SendRunResult r2 = runSend(account(gone->port()), w->sendList, in, env);
    QCOMPARE(r2.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(r2.text.contains(QStringLiteral("Cant connect Server")), qPrintable(r2.text));
    QCOMPARE(r2.accepted, 2);
    QCOMPARE(w->sendList.count(), 5);
    const QStringList lines = logLines(env.logPath);
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines[3].startsWith(QStringLiteral("宛先2,,r2@example.jp,送信エラーConnection to the server was lost")),
             qPrintable(lines[3]));
}

void TestSendRun::refusedRecipientIsLoggedWithTheMend()
{
    // With the commands sent one by one and with PIPELINING.
    for (const bool pipelining : {false, true}) {
        SmtpTestServer smtp;
        smtp.setPipelining(pipelining);
        smtp.refuseRecipient(QStringLiteral("nobody@example.jp"),
                             QStringLiteral("550 5.1.1 <nobody@example.jp>: unknown user,no mailbox,try later,thanks,bye"));
        QVERIFY2(smtp.start(), qPrintable(smtp.error()));
        w->sendList.append(QStringLiteral("一"), QString(), QStringLiteral("one@example.jp"));
        w->sendList.append(QStringLiteral("二"), QString(), QStringLiteral("nobody@example.jp"));
        w->sendList.append(QStringLiteral("三"), QString(), QStringLiteral("three@example.jp"));
        Inputs in;
        const SendRunResult r = runSend(account(smtp.port()), w->sendList, in, env);
        QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
        QCOMPARE(r.accepted, 2);
        QCOMPARE(w->sendList.count(), 0);
        const QStringList lines = logLines(env.logPath);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[2], QStringLiteral("二,,nobody@example.jp,送信エラー550 5.1.1 <nobody@example.jp>: "
                                          "unknown user no mailbox try later thanks,bye,2005/04/01 9:05:07"));
        QCOMPARE(lines[2].split(QLatin1Char(',')).size(), 6);
        const QList<ReceivedMail> got = smtp.messages();
        QCOMPARE(got.size(), 2);
        QCOMPARE(got[1].envelopeTo, QStringList{QStringLiteral("three@example.jp")});
        // The refusal did not cost the connection.
        QCOMPARE(smtp.connectionCount(), 1);
    }
}

void TestSendRun::injectionAttemptsAreRefused()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    // A file whose very name tries to add a header.
    const QString trap = w->path(QStringLiteral("x\r\nBcc: evil@example.net.txt"));
    writeBytes(trap, QByteArray("data"));
    w->sendList.append(QStringLiteral("一"), QString(), QStringLiteral("a@example.jp>\r\nRCPT TO:<evil@example.net"));
    w->sendList.append(QStringLiteral("二"), QString(), QStringLiteral("b@example.jp\nDATA"));
    w->sendList.append(QStringLiteral("三"), QString(), QStringLiteral("<c@example.jp>"));
    w->sendList.append(QStringLiteral("四"), QString(), QStringLiteral("ok@example.jp"));
    Inputs in;
    in.subjectText = QStringLiteral("件名\r\nBcc: evil@example.net");
    in.attachments = trap;
    AccountRecord a = account(smtp.port());
    a.szFromName = QStringLiteral("店\r\nReply-To: evil@example.net <x>");
    const SendRunResult r = runSend(a, w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, 1);
    const QStringList lines = logLines(env.logPath);
    // The header record keeps the subject as typed; that line break is the
    // user's own and splits the log line, so look at the records by address.
    QCOMPARE(lines.filter(QStringLiteral(",送信エラーInvalid recipient address")).size(), 3);
    QVERIFY(lines.filter(QStringLiteral("\\x0d\\x0a")).size() == 1);
    QVERIFY(lines.last().startsWith(QStringLiteral("四,,ok@example.jp,送信済,")));

    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].envelopeTo, QStringList{QStringLiteral("ok@example.jp")});
    QVERIFY(!got[0].headerNames.contains(QStringLiteral("Bcc"), Qt::CaseInsensitive));
    QVERIFY(!got[0].headerNames.contains(QStringLiteral("Reply-To"), Qt::CaseInsensitive));
    QCOMPARE(got[0].subject, QStringLiteral("件名  Bcc: evil@example.net"));
    QCOMPARE(got[0].from, QStringLiteral("\"店 Reply-To: evil@example.net <x>\" <shop@example.jp>"));
    QCOMPARE(got[0].attachments.size(), 1);
    QCOMPARE(got[0].attachments[0].fileName, QStringLiteral("x\r\nBcc: evil@example.net.txt"));
    QVERIFY(!got[0].raw.contains("\nBcc:"));
}

void TestSendRun::popBeforeSmtp()
{
    // Dovecot holds back the attempt that follows a failed login by a few
    // seconds, so each server here sees at most one failure, and last.
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    env.transport.pop3Port = pop.port();
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));

    // The transport on its own: an array on success, a text otherwise.
    TransportSettings s = transportSettings(account(smtp.port()), env.transport);
    const QVariant ok = CurlTransport(s).checkPop();
    QCOMPARE(ok.typeId(), QMetaType::QVariantList);
    QCOMPARE(ok.toList(), (QVariantList{0, 0}));
    s.pop3Port = unusedLoopbackPort();
    QVERIFY(CurlTransport(s).checkPop().toString().contains(QStringLiteral("Cant connect Server")));

    // Right password: the run goes on to send.
    AccountRecord a = account(smtp.port());
    a.Check2V = 1;
    fillThree(w->sendList);
    Inputs in;
    const SendRunResult r = runSend(a, w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, 3);
    QCOMPARE(smtp.messages().size(), 3);
    const QByteArray previous = readBytes(env.logPath);
    QCOMPARE(previous.count("\r\n"), 4);

    // Wrong POP password: nothing sent, the previous log untouched.
    a.UserPass = QStringLiteral("wrong");
    fillThree(w->sendList);
    Inputs in2;
    const SendRunResult r2 = runSend(a, w->sendList, in2, env);
    QCOMPARE(r2.outcome, SendRunResult::Outcome::PopLoginFailed);
    QVERIFY2(r2.text.contains(QStringLiteral("-ERR")), qPrintable(r2.text));
    QCOMPARE(readBytes(env.logPath), previous);
    QCOMPARE(w->sendList.count(), 3);
    QCOMPARE(smtp.messages().size(), 3);
    QVERIFY(in2.progress.isEmpty());
}

void TestSendRun::listsLongerThanSixteenBitsAreSentWhole()
{
    const int n = 40000;
    w->sendList.beginBatch();
    for (int i = 0; i < n; ++i)
        w->sendList.append(QStringLiteral("名%1").arg(i), QString(), QStringLiteral("r%1@example.jp").arg(i));
    w->sendList.endBatch();
    env.makeTransport = fake.factory();
    Inputs in;
    const SendRunResult r = runSend(account(25), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, n);
    QCOMPARE(in.maximum, n);
    QCOMPARE(in.progress.size(), n);
    QCOMPARE(in.progress.last(), n);
    const QStringList lines = logLines(env.logPath);
    QCOMPARE(lines.size(), n + 1);
    QVERIFY(lines.last().startsWith(QStringLiteral("名39999,,r39999@example.jp,送信済")));
    QCOMPARE(w->sendList.count(), 0);
}

void TestSendRun::unwritableLogFails()
{
    fillThree(w->sendList);
    Inputs in;
    env.logPath = w->path(QStringLiteral("missing-folder/SendMail.Log"));
    env.makeTransport = fake.factory();
    const SendRunResult r = runSend(account(25), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Failed);
    QCOMPARE(w->sendList.count(), 3);
    QVERIFY(in.progress.isEmpty());
    QVERIFY(fake.calls.isEmpty());
}

QTEST_GUILESS_MAIN(TestSendRun)
#include "tst_sendrun.moc"
