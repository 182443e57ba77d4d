#include "account.h"
#include "curltransport.h"
#include "fakemailtransport.h"
#include "mailservers.h"
#include "runfixture.h"
#include "sendjournal.h"
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
    list.append(QStringLiteral("株式会社ミナト"), QStringLiteral("営業部　佐藤花子"),
                QStringLiteral("sato@example.jp"));
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
    void preflightStopsTheRunBeforeAnyConnection_data();
    void preflightStopsTheRunBeforeAnyConnection();
    void stoppingRepliesAbortAndKeepTheList();
    void unreachableOrRefusedLoginAborts();
    void refusedRecipientIsLoggedWithTheMend();
    void injectionAttemptsStayInTheirHeaders();
    void popBeforeSmtp();
    void listsLongerThanSixteenBitsAreSentWhole();
    void temporaryRefusalIsTriedAgain();
    void pacingSpacesTheMessages();
    void stopKeepsTheEntriesNotAcceptedAndTheJournalFinishesThem();
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
    env.retryWaitsMs = {10, 10, 10};
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

    const QByteArray expected = sjis(
        QStringLiteral("山田商店,shop@example.jp,127.0.0.1,春のご案内【第1号】,2005/04/01 9:05:07\r\n"
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
    // Refusals by the server; none stops the run.
    const QString fourCommas = QStringLiteral("550 5.1.1 unknown,no mailbox,try later,thanks,bye");
    const QString essay = QStringLiteral("550 ") + QString(100000, QLatin1Char('x'));
    fake.replyTo.insert("refused@example.jp", fourCommas);
    fake.replyTo.insert("essay@example.jp", essay);
    const QStringList addresses = {QStringLiteral("ok@example.jp"), QStringLiteral("refused@example.jp"),
                                   QStringLiteral("essay@example.jp"), QStringLiteral("jörg@exämple.de"),
                                   QStringLiteral("last@example.jp")};
    for (const QString &a : addresses)
        w->sendList.append(QStringLiteral("名"), QString(), a);
    Inputs in;
    env.makeTransport = fake.factory();
    const SendRunResult r = runSend(account(2525), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, 3);
    QCOMPARE(w->sendList.count(), 0);
    QCOMPARE(fake.ends, 1);
    // A domain outside ASCII goes in its ASCII form, a local part outside
    // ASCII asks for SMTPUTF8; each call announces the next entry.
    QCOMPARE(fake.recipients(), (QByteArrayList{"ok@example.jp", "refused@example.jp", "essay@example.jp",
                                                "j\xc3\xb6rg@xn--exmple-cua.de", "last@example.jp"}));
    QCOMPARE(fake.calls[0].nextTo, std::optional<QByteArray>("refused@example.jp"));
    QVERIFY(fake.calls[3].envelope.to.needsSmtpUtf8);
    QCOMPARE(fake.calls[4].nextTo, std::nullopt);

    const QStringList lines = logLines(env.logPath);
    QCOMPARE(lines.size(), addresses.size() + 1);
    QCOMPARE(lines[2],
             QStringLiteral("名,,refused@example.jp,送信エラー550 5.1.1 unknown no mailbox try later thanks,bye,"
                            "2005/04/01 9:05:07"));
    // A long reply is cut to 512 characters in its record.
    QCOMPARE(lines[3], QStringLiteral("名,,essay@example.jp,送信エラー") + essay.left(512)
                           + QStringLiteral(",2005/04/01 9:05:07"));
    QVERIFY(lines[5].startsWith(QStringLiteral("名,,last@example.jp,送信済,")));
}

void TestSendRun::preflightStopsTheRunBeforeAnyConnection_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("message"); // pieces of the message, in order
    QTest::newRow("missing attachment") << "attachment"
                                        << QStringList{"次の添付ファイルが見つからないか、読めません。\n",
                                                       "見積書.pdf"};
    QTest::newRow("sender with a blank") << "sender"
                                         << QStringList{"送信元メールアドレス「shop at example.jp」は使えません"
                                                        "（空白が含まれています）。"};
    // The limit the account's connection test found.
    QTest::newRow("larger than the server takes")
        << "size"
        << QStringList{"添付ファイルを含めたメールの大きさ（0.4 MB）が、サーバーの上限（0.1 MB）を超えています。"};
}

void TestSendRun::preflightStopsTheRunBeforeAnyConnection()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, message);
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    writeBytes(env.logPath, QByteArray("previous run\r\n"));
    AccountRecord a = account(smtp.port());
    a.Check2V = 1; // no POP login either
    Inputs in;
    w->sendList.append(QStringLiteral("一"), QString(), QStringLiteral("one@example.jp"));
    if (fault == QLatin1String("attachment"))
        in.attachments = w->path(QStringLiteral("見積書.pdf"));
    if (fault == QLatin1String("sender"))
        a.szFrom = QStringLiteral("shop at example.jp");
    if (fault == QLatin1String("size")) {
        in.attachments = w->path(QStringLiteral("catalogue.pdf"));
        writeBytes(in.attachments, QByteArray(300000, 'x'));
        env.sizeLimit = 200000;
    }
    const qsizetype entries = w->sendList.count();
    a.Pop3Port = QString::number(unusedLoopbackPort());
    const SendRunResult r = runSend(a, w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::PreflightFailed);
    qsizetype from = 0;
    for (const QString &piece : message) {
        const qsizetype at = r.text.indexOf(piece, from);
        QVERIFY2(at >= 0, qPrintable(r.text));
        from = at + piece.size();
    }
    QCOMPARE(smtp.connectionCount(), 0);
    QCOMPARE(readBytes(env.logPath), QByteArray("previous run\r\n"));
    QCOMPARE(w->sendList.count(), entries);
    QVERIFY(in.progress.isEmpty());
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
                 QStringList{
                     QStringLiteral("山田商店,shop@example.jp,127.0.0.1,春のご案内【第1号】,2005/04/01 9:05:07")});
    }

    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::Auth, QStringLiteral("shop"), QStringLiteral("secret")),
             qPrintable(smtp.error()));
    const SendRunResult r = runSend(account(smtp.port(), true, QStringLiteral("wrong")), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(r.text.contains(QStringLiteral("AUTH LOGIN")) && r.text.contains(QStringLiteral("535")),
             qPrintable(r.text));
    QCOMPARE(w->sendList.count(), 3);
    QCOMPARE(logLines(env.logPath).size(), 1);
    QCOMPARE(smtp.messages().size(), 0);

    // The server goes away before the third message, whose envelope it had
    // already taken: the message went without a reply, so it is uncertain
    // and not sent again; the reconnection for the fourth fails and the run
    // stops with the records so far.
    w->sendList.clear();
    for (int i = 0; i < 5; ++i)
        w->sendList.append(QStringLiteral("宛先%1").arg(i), QString(), QStringLiteral("r%1@example.jp").arg(i));
    auto gone = std::make_unique<SmtpTestServer>();
    QVERIFY2(gone->start(), qPrintable(gone->error()));
    in.onProgress = [&](qsizetype v) {
        if (v == 3)
            gone->stop();
    };
    const SendRunResult r2 = runSend(account(gone->port()), w->sendList, in, env);
    QCOMPARE(r2.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(r2.text.contains(QStringLiteral("Cant connect Server")), qPrintable(r2.text));
    QCOMPARE(r2.accepted, 2);
    QCOMPARE(w->sendList.count(), 5);
    QCOMPARE(r2.uncertain.size(), 1);
    QCOMPARE(r2.uncertain[0].address, QStringLiteral("r2@example.jp"));
    QCOMPARE(logLines(env.logPath).size(), 4);
    QVERIFY(logLines(env.logPath)
                .at(3)
                .startsWith(QStringLiteral("宛先2,,r2@example.jp,不明Connection to the server was lost")));
}

void TestSendRun::refusedRecipientIsLoggedWithTheMend()
{
    // With the commands sent one by one and with PIPELINING.
    for (const bool pipelining : {false, true}) {
        SmtpTestServer smtp;
        smtp.setPipelining(pipelining);
        smtp.refuseRecipient(QStringLiteral("nobody@example.jp"),
                             QStringLiteral(
                                 "550 5.1.1 <nobody@example.jp>: unknown user,no mailbox,try later,thanks,bye"));
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

void TestSendRun::injectionAttemptsStayInTheirHeaders()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    // A file whose very name tries to add a header.
    const QString trap = w->path(QStringLiteral("x\r\nBcc: evil@example.net.txt"));
    writeBytes(trap, QByteArray("data"));
    w->sendList.append(QStringLiteral("四\r\nBcc: evil@example.net"), QString(), QStringLiteral("ok@example.jp"));
    Inputs in;
    in.subjectText = QStringLiteral("件名\r\nBcc: evil@example.net");
    in.attachments = trap;
    AccountRecord a = account(smtp.port());
    a.szFromName = QStringLiteral("店\r\nReply-To: evil@example.net <x>");
    const SendRunResult r = runSend(a, w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, 1);

    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].envelopeTo, QStringList{QStringLiteral("ok@example.jp")});
    QVERIFY(!got[0].headerNames.contains(QStringLiteral("Bcc"), Qt::CaseInsensitive));
    QVERIFY(!got[0].headerNames.contains(QStringLiteral("Reply-To"), Qt::CaseInsensitive));
    QCOMPARE(got[0].subject, QStringLiteral("件名  Bcc: evil@example.net"));
    QCOMPARE(got[0].from, QStringLiteral("\"店 Reply-To: evil@example.net <x>\" <shop@example.jp>"));
    QCOMPARE(got[0].attachments.size(), 1);
    QCOMPARE(got[0].attachments[0].fileName, QStringLiteral("x\r\nBcc: evil@example.net.txt"));
    // The name block is body text, in base64.
    QVERIFY(got[0].text.startsWith(QStringLiteral("四\r\nBcc: evil@example.net　様\r\n")));
    QVERIFY(!got[0].raw.contains("\nBcc:"));
}

void TestSendRun::popBeforeSmtp()
{
    // Dovecot holds back the attempt that follows a failed login by a few
    // seconds, so each server here sees at most one failure, and last.
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));

    // The transport on its own: an array on success, a text otherwise.
    AccountRecord a = account(smtp.port());
    a.Pop3Port = QString::number(pop.port());
    TransportSettings s = transportSettings(a, env.transport);
    const QVariant ok = CurlTransport(s).checkPop();
    QCOMPARE(ok.typeId(), QMetaType::QVariantList);
    QCOMPARE(ok.toList(), (QVariantList{0, 0}));
    s.pop3Port = unusedLoopbackPort();
    QVERIFY(CurlTransport(s).checkPop().toString().contains(QStringLiteral("Cant connect Server")));

    // Right password: the run goes on to send.
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

void TestSendRun::temporaryRefusalIsTriedAgain()
{
    // A real server: 451 once, then the message is taken.
    SmtpTestServer smtp;
    smtp.refuseRecipientOnce(QStringLiteral("later@example.jp"), QStringLiteral("451 4.7.1 Try again later"));
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    for (const char *a : {"one@example.jp", "later@example.jp", "three@example.jp"})
        w->sendList.append(QStringLiteral("名"), QString(), QString::fromLatin1(a));
    Inputs in;
    QCOMPARE(runSend(account(smtp.port()), w->sendList, in, env).accepted, 3);
    QCOMPARE(logLines(env.logPath).filter(QStringLiteral(",送信済,")).size(), 3);
    QStringList to;
    for (const ReceivedMail &m : smtp.messages())
        to += m.envelopeTo;
    QCOMPARE(to.count(QStringLiteral("later@example.jp")), 1);
    QCOMPARE(in.pauses, QList<qint64>{10});

    // A 5xx is final; a 4xx that stays is tried three times more and logged once.
    fake.replyTo.insert("gone@example.jp", QStringLiteral("550 5.1.1 no such user"));
    fake.replyTo.insert("busy@example.jp", QStringLiteral("452 4.2.2 mailbox full"));
    w->sendList.append(QStringLiteral("名"), QString(), QStringLiteral("gone@example.jp"));
    w->sendList.append(QStringLiteral("名"), QString(), QStringLiteral("busy@example.jp"));
    env.makeTransport = fake.factory();
    Inputs again;
    QCOMPARE(runSend(account(smtp.port()), w->sendList, again, env).accepted, 0);
    QCOMPARE(fake.recipients(), (QByteArrayList{"gone@example.jp", "busy@example.jp", "busy@example.jp",
                                                "busy@example.jp", "busy@example.jp"}));
    QCOMPARE(again.pauses, (QList<qint64>{10, 10, 10}));
    QCOMPARE(logLines(env.logPath).size(), 3);
    QVERIFY(logLines(env.logPath).at(2).contains(QStringLiteral("送信エラー452 4.2.2 mailbox full")));
}

void TestSendRun::pacingSpacesTheMessages()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    for (int i = 0; i < 5; ++i)
        w->sendList.append(QStringLiteral("名"), QString(), QStringLiteral("r%1@example.jp").arg(i));
    AccountRecord a = account(smtp.port());
    a.MaxPerMinute = 60;
    Inputs in;
    QElapsedTimer t;
    t.start();
    QCOMPARE(runSend(a, w->sendList, in, env).accepted, 5);
    QVERIFY2(t.elapsed() >= 4000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(in.pauses.size(), 4);
    QCOMPARE(smtp.messages().size(), 5);
}

void TestSendRun::stopKeepsTheEntriesNotAcceptedAndTheJournalFinishesThem()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    for (int i = 1; i <= 10; ++i)
        w->sendList.append(QStringLiteral("宛先%1").arg(i), QString(), QStringLiteral("r%1@example.jp").arg(i));
    env.journalPath = SendJournal::pathBeside(env.logPath);
    Inputs in;
    in.stopAfter = 3;
    const SendRunResult r = runSend(account(smtp.port()), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Stopped);
    QCOMPARE(sendOutcomeMessage(r), QStringLiteral("3件を送信して中止しました。残りは7件です。"));
    QCOMPARE(w->sendList.count(), 7);
    QCOMPARE(w->sendList.entry(0).address, QStringLiteral("r4@example.jp"));
    QCOMPARE(w->sendList.entry(6).address, QStringLiteral("r10@example.jp"));
    QCOMPARE(logLines(env.logPath).size(), 4);
    QCOMPARE(smtp.messages().size(), 3);

    // The journal knows what is left and that nothing was in flight.
    QString error;
    const std::optional<JournalState> j = readJournal(env.journalPath, &error);
    QVERIFY2(j, qPrintable(error));
    QCOMPARE(j->acceptedCount(), 3);
    QVERIFY(j->uncertain.isEmpty());
    QCOMPARE(j->remaining(false), (QList<qsizetype>{3, 4, 5, 6, 7, 8, 9}));

    // Finishing it sends those seven, each once, and removes the journal.
    env.journalIndex = j->remaining(false);
    Inputs rest;
    QCOMPARE(runSend(account(smtp.port()), w->sendList, rest, env).accepted, 7);
    QStringList to;
    for (const ReceivedMail &m : smtp.messages())
        to += m.envelopeTo;
    QCOMPARE(to.size(), 10);
    QCOMPARE(QSet<QString>(to.begin(), to.end()).size(), 10);
    QVERIFY(!QFile::exists(env.journalPath));
}

QTEST_GUILESS_MAIN(TestSendRun)
#include "tst_sendrun.moc"
