#include "faultserver.h"
#include "helloname.h"
#include "mailservers.h"
#include "runcontrol.h"
#include "runfixture.h"
#include "runlock.h"
#include "sendjournal.h"
#include "sendlist.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "testutil.h"

#include <QtTest>
#include <csignal>
#include <sys/resource.h>

Q_DECLARE_METATYPE(FaultServer::Rule)

// The run against a server that misbehaves at one step: no recipient may be
// counted as sent without being sent, or mailed twice without a word.
class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void init();
    void ambiguousRepliesAreNeverSuccess_data();
    void ambiguousRepliesAreNeverSuccess();
    void replyLostAfterTheMessageIsUncertain_data();
    void replyLostAfterTheMessageIsUncertain();
    void serverRefusingEverythingStopsTheRun_data();
    void serverRefusingEverythingStopsTheRun();
    void refusedGreetingStopsTheRun_data();
    void refusedGreetingStopsTheRun();
    void serverSizeLimitIsKept_data();
    void serverSizeLimitIsKept();
    void temporaryLoginRefusalIsTriedAgain_data();
    void temporaryLoginRefusalIsTriedAgain();
    void faultsInAWindowTouchOnlyTheirMessages_data();
    void faultsInAWindowTouchOnlyTheirMessages();
    void deadAddressesDontSlowTheRun_data();
    void deadAddressesDontSlowTheRun();
    void eachRecipientGetsOnlyTheirOwnMessage();
    void journalTrustsOnlyWhatReachedTheDisk();
    void secondRunOnTheSameLogIsRefused();
    void serverTextIsShownWithoutItsControlCharacters();
    void logNeverKeepsHalfARecord();

private:
    void fill(int n);
    std::unique_ptr<TestWorld> w;
    SendRunEnvironment env;
};

void TestFaults::init()
{
    w = std::make_unique<TestWorld>();
    env = SendRunEnvironment();
    env.logPath = SentMailLog::pathIn(w->dir.path());
    env.journalPath = SendJournal::pathBeside(env.logPath);
    env.now = [] { return kClock; };
    env.retryWaitsMs = {1, 1, 1};
}

void TestFaults::fill(int n)
{
    for (int i = 0; i < n; ++i)
        w->sendList.append(QStringLiteral("宛先%1").arg(i), QString(), QStringLiteral("r%1@example.jp").arg(i));
}

void TestFaults::ambiguousRepliesAreNeverSuccess_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("pipelining");
    // "say": the server goes on as if it had agreed; "refuse": it does not.
    for (bool pipelining : {true, false}) {
        const char *mode = pipelining ? ", pipelining" : "";
        QTest::addRow("MAIL taken, empty reply%s", mode) << "mail"
                                                         << "say:" << pipelining;
        QTest::addRow("RCPT refused, empty reply%s", mode) << "rcpt"
                                                           << "refuse:" << pipelining;
        QTest::addRow("DATA taken, empty reply%s", mode) << "data"
                                                         << "say:" << pipelining;
        QTest::addRow("message refused, empty reply%s", mode) << "dataend"
                                                              << "refuse:" << pipelining;
    }
}

void TestFaults::ambiguousRepliesAreNeverSuccess()
{
    QFETCH(QString, step);
    QFETCH(QString, action);
    QFETCH(bool, pipelining);
    FaultServer server;
    QVERIFY2(server.start({{step, 1, action}}, pipelining), qPrintable(server.error()));
    fill(2);
    Inputs in;
    const SendRunResult r = runSend(account(server.port()), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    // The first is refused in the log and reaches nobody; the second goes.
    QCOMPARE(r.accepted, 1);
    QCOMPARE(server.received(), (QMap<QString, int>{{QStringLiteral("r1@example.jp"), 1}}));
    const QStringList log = logLines(env.logPath);
    QCOMPARE(log.size(), 3);
    QVERIFY2(log[1].startsWith(QStringLiteral("宛先0,,r0@example.jp,送信エラーthe server gave an empty reply")),
             qPrintable(log[1]));
    QVERIFY(log[2].contains(QStringLiteral(",送信済,")));
}

void TestFaults::replyLostAfterTheMessageIsUncertain_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("timeoutSeconds");
    QTest::newRow("connection dropped") << "drop" << 0;
    // A slow reply costs the connection, not the run.
    QTest::newRow("no reply within the limit") << "stall" << 1;
}

void TestFaults::replyLostAfterTheMessageIsUncertain()
{
    QFETCH(QString, action);
    QFETCH(int, timeoutSeconds);
    FaultServer server;
    QVERIFY2(server.start({{QStringLiteral("dataend"), 2, action}}), qPrintable(server.error()));
    fill(3);
    env.transport.timeoutSeconds = timeoutSeconds;
    Inputs in;
    const SendRunResult r = runSend(account(server.port()), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, 2);
    // Stored once, not sent again, named, and logged as unknown.
    QCOMPARE(server.received().value(QStringLiteral("r1@example.jp")), 1);
    QCOMPARE(server.received().size(), 3);
    QCOMPARE(r.uncertain.size(), 1);
    QCOMPARE(r.uncertain[0].address, QStringLiteral("r1@example.jp"));
    QVERIFY2(sendOutcomeMessage(r).contains(QStringLiteral("宛先1 <r1@example.jp>")),
             qPrintable(sendOutcomeMessage(r)));
    QVERIFY(logLines(env.logPath).value(2).startsWith(QStringLiteral("宛先1,,r1@example.jp,不明")));
    // Customer data, readable by its owner only.
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QCOMPARE(QFile::permissions(env.logPath) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), ownerOnly);
    QCOMPARE(QFile::permissions(env.journalPath) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), ownerOnly);
    // The journal stays for the next run to ask about it.
    QString error;
    const std::optional<JournalState> j = readJournal(env.journalPath, &error);
    QVERIFY2(j, qPrintable(error));
    QCOMPARE(j->uncertain, QList<qsizetype>{1});
    QVERIFY(j->remaining(false).isEmpty());
}

void TestFaults::serverRefusingEverythingStopsTheRun_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("421 to every MAIL") << "close:421 4.3.2 System not accepting network messages";
    QTest::newRow("connection lost at every MAIL") << "drop";
}

void TestFaults::serverRefusingEverythingStopsTheRun()
{
    QFETCH(QString, action);
    FaultServer server;
    QVERIFY2(server.start({{QStringLiteral("mail"), 0, action}}), qPrintable(server.error()));
    fill(5);
    Inputs in;
    const SendRunResult r = runSend(account(server.port()), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(sendOutcomeMessage(r).startsWith(QStringLiteral("メールサーバーに接続できません。")),
             qPrintable(sendOutcomeMessage(r)));
    QCOMPARE(server.connections(), 3);
    QCOMPARE(w->sendList.count(), 5);
    QCOMPARE(logLines(env.logPath).size(), 1);
    // Nothing went: the next run sends all five.
    QString error;
    const std::optional<JournalState> j = readJournal(env.journalPath, &error);
    QVERIFY2(j, qPrintable(error));
    QCOMPARE(j->remaining(false).size(), 5);
    QVERIFY(j->uncertain.isEmpty());
}

void TestFaults::refusedGreetingStopsTheRun_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QList<FaultServer::Rule>>("rules");
    QTest::addColumn<QString>("reply");
    for (const char *reply : {"550 5.7.1 Access denied", "451 4.3.0 Not now"}) {
        const QString refuse = QStringLiteral("refuse:") + QLatin1String(reply);
        QTest::addRow("EHLO and HELO refused, %cxx", reply[0])
            << "127.0.0.1" << QList<FaultServer::Rule>{{"ehlo", 0, refuse}, {"helo", 0, refuse}} << reply;
    }
    // The second EHLO names the local end as the connection found it.
    QTest::newRow("greeting again with the address literal refused")
        << "localhost" << QList<FaultServer::Rule>{{"ehlo", 2, "refuse:550 5.7.1 Invalid name"}}
        << "550 5.7.1 Invalid name";
}

void TestFaults::refusedGreetingStopsTheRun()
{
    QFETCH(QString, server);
    QFETCH(QList<FaultServer::Rule>, rules);
    QFETCH(QString, reply);
    if (server == QLatin1String("localhost")
        && (!fullyQualifiedHostName().isEmpty() || probableLocalLiteral(server) == "[127.0.0.1]"))
        QSKIP("this machine greets once: it has a full name, or no route but loopback");
    FaultServer fault;
    QVERIFY2(fault.start(rules), qPrintable(fault.error()));
    fill(3);
    AccountRecord a = account(fault.port());
    a.szServer = server;
    Inputs in;
    const SendRunResult r = runSend(a, w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(r.text.startsWith(QStringLiteral("Cant connect Server")) && r.text.contains(reply), qPrintable(r.text));
    // Once, not once for every recipient.
    QCOMPARE(fault.connections(), 1);
    QVERIFY(fault.mailCommands().isEmpty());
    QCOMPARE(w->sendList.count(), 3);
    QCOMPARE(logLines(env.logPath).size(), 1);
}

void TestFaults::serverSizeLimitIsKept_data()
{
    QTest::addColumn<QString>("size");    // what EHLO says after SIZE
    QTest::addColumn<bool>("fits");       // the run goes
    QTest::addColumn<bool>("sizeOnMail"); // MAIL FROM carries SIZE=
    // A 300,000-octet attachment makes messages of about 0.4 MB.
    QTest::newRow("over the limit") << "200000" << false << false;
    QTest::newRow("under the limit") << "10485760" << true << true;
    QTest::newRow("SIZE 0, no limit") << "0" << true << true;
    QTest::newRow("SIZE not a number") << "10MB" << true << false;
}

void TestFaults::serverSizeLimitIsKept()
{
    QFETCH(QString, size);
    QFETCH(bool, fits);
    QFETCH(bool, sizeOnMail);
    FaultServer server;
    server.setSize(size);
    QVERIFY2(server.start({}), qPrintable(server.error()));
    const QString attachment = w->path(QStringLiteral("catalogue.pdf"));
    QByteArray bytes(300000, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7919) >> 3);
    writeBytes(attachment, bytes);
    fill(3);
    Inputs in;
    in.attachments = attachment;
    const SendRunResult r = runSend(account(server.port()), w->sendList, in, env);
    if (!fits) {
        QCOMPARE(r.outcome, SendRunResult::Outcome::PreflightFailed);
        QCOMPARE(sendOutcomeMessage(r),
                 QStringLiteral(
                     "添付ファイルを含めたメールの大きさ（0.4 MB）が、サーバーの上限（0.1 MB）を超えています。"));
        // Nothing went, and nothing is left to finish.
        QVERIFY(server.mailCommands().isEmpty());
        QCOMPARE(w->sendList.count(), 3);
        QVERIFY(!QFile::exists(env.journalPath));
        return;
    }
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    const QList<FaultServer::Stored> got = server.stored();
    const QStringList mail = server.mailCommands();
    QCOMPARE(got.size(), 3);
    QCOMPARE(mail.size(), 3);
    for (qsizetype i = 0; i < mail.size(); ++i) {
        const qsizetype at = mail[i].indexOf(QStringLiteral(" SIZE="));
        QCOMPARE(at >= 0, sizeOnMail);
        if (!sizeOnMail)
            continue;
        // The first message's own size; the others, sent ahead, estimated
        // a little over.
        const qint64 declared = mail[i].mid(at + 6).toLongLong();
        const qint64 actual = got[i].raw.size();
        QVERIFY2(i == 0 ? declared == actual : declared >= actual && declared <= actual + 64,
                 qPrintable(QStringLiteral("%1: %2 for %3").arg(i).arg(declared).arg(actual)));
    }
}

void TestFaults::temporaryLoginRefusalIsTriedAgain_data()
{
    QTest::addColumn<int>("nth"); // 0: every login refused
    QTest::newRow("refused once, then taken") << 1;
    QTest::newRow("refused every time") << 0;
}

void TestFaults::temporaryLoginRefusalIsTriedAgain()
{
    QFETCH(int, nth);
    FaultServer server;
    server.setAuth(true);
    QVERIFY2(server.start({{"auth", nth, "refuse:454 4.7.0 Temporary authentication failure"}}),
             qPrintable(server.error()));
    fill(2);
    Inputs in;
    const SendRunResult r = runSend(account(server.port(), true), w->sendList, in, env);
    if (nth == 1) {
        QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
        QCOMPARE(r.accepted, 2);
        QCOMPARE(in.pauses, QList<qint64>{1});
        QCOMPARE(server.connections(), 2);
        return;
    }
    // After the waits a temporary refusal gets, the run stops as on any
    // refused login.
    QCOMPARE(r.outcome, SendRunResult::Outcome::Aborted);
    QVERIFY2(r.text.contains(QStringLiteral("AUTH LOGIN")) && r.text.contains(QStringLiteral("454 4.7.0")),
             qPrintable(r.text));
    QCOMPARE(in.pauses, env.retryWaitsMs);
    QCOMPARE(server.connections(), 4);
    QVERIFY(server.stored().isEmpty());
    QCOMPARE(w->sendList.count(), 2);
}

void TestFaults::faultsInAWindowTouchOnlyTheirMessages_data()
{
    QTest::addColumn<QList<FaultServer::Rule>>("rules");
    QTest::addColumn<int>("accepted");
    QTest::addColumn<QList<qsizetype>>("uncertain");
    QTest::addColumn<QStringList>("stored"); // addresses of r0..r5 stored, each once
    QTest::addColumn<int>("refused");        // the entry refused for good, -1: none
    const FaultServer::Rule unknown{"rcpt", 4, "refuse:550 5.1.1 unknown user"};
    QTest::newRow("a recipient refused") << QList<FaultServer::Rule>{unknown} << 5 << QList<qsizetype>{}
                                         << QStringList{"r0", "r1", "r2", "r4", "r5"} << 3;
    // Tried again on its own once the window's replies are in; each later
    // reply still goes with its own message.
    QTest::newRow("a recipient refused for now")
        << QList<FaultServer::Rule>{{"rcpt", 2, "refuse:451 4.3.0 try again later"}, unknown} << 5 << QList<qsizetype>{}
        << QStringList{"r0", "r1", "r2", "r4", "r5"} << 3;
    // Every message whose data went is on its way; none goes twice.
    QTest::newRow("no reply after a message") << QList<FaultServer::Rule>{{"dataend", 2, "stall"}} << 1
                                              << QList<qsizetype>{1, 2, 3, 4, 5} << QStringList{"r0", "r1"} << -1;
}

void TestFaults::faultsInAWindowTouchOnlyTheirMessages()
{
    QFETCH(QList<FaultServer::Rule>, rules);
    QFETCH(int, accepted);
    QFETCH(QList<qsizetype>, uncertain);
    QFETCH(QStringList, stored);
    QFETCH(int, refused);
    FaultServer server;
    server.setChunking(true);
    QVERIFY2(server.start(rules), qPrintable(server.error()));
    fill(6);
    env.transport.timeoutSeconds = 1;
    Inputs in;
    const SendRunResult r = runSend(account(server.port()), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(r.accepted, accepted);
    QMap<QString, int> expected;
    for (const QString &name : stored)
        expected.insert(name + QStringLiteral("@example.jp"), 1);
    QCOMPARE(server.received(), expected);
    const QStringList lines = logLines(env.logPath);
    QCOMPARE(lines.filter(QStringLiteral("送信エラー")).size(), refused >= 0 ? 1 : 0);
    if (refused >= 0)
        QVERIFY2(lines.value(refused + 1)
                     .startsWith(
                         QStringLiteral("宛先%1,,r%1@example.jp,送信エラー550 5.1.1 unknown user").arg(refused)),
                 qPrintable(lines.join(QLatin1Char('\n'))));
    QString error;
    const std::optional<JournalState> j = readJournal(env.journalPath, &error);
    QCOMPARE(j ? j->uncertain : QList<qsizetype>{}, uncertain);
    QCOMPARE(r.uncertain.size(), uncertain.size());
}

void TestFaults::deadAddressesDontSlowTheRun_data()
{
    QTest::addColumn<int>("holdAfter");   // refusals on a connection before its replies are held
    QTest::addColumn<QString>("pattern"); // one letter an entry: g good, d dead
    // Two refusals each with PIPELINING: the RCPT and the DATA after it.
    QTest::newRow("ten refusals held") << 10 << "gddgddgddgddgddgddg";
    QTest::newRow("two refusals held") << 2 << "gdgdgdgg";
}

void TestFaults::deadAddressesDontSlowTheRun()
{
    QFETCH(int, holdAfter);
    QFETCH(QString, pattern);
    FaultServer server;
    server.setDeadPrefix(QStringLiteral("dead"));
    server.setHoldAfter(holdAfter);
    QVERIFY2(server.start({}), qPrintable(server.error()));
    QMap<QString, int> good;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QString address = (pattern[i] == QLatin1Char('d') ? QStringLiteral("dead%1@example.jp")
                                                                : QStringLiteral("r%1@example.jp"))
                                    .arg(i);
        w->sendList.append(QStringLiteral("宛先%1").arg(i), QString(), address);
        if (pattern[i] == QLatin1Char('g'))
            good.insert(address, 1);
    }
    // A held reply would cost this much, and the message a wait.
    env.transport.timeoutSeconds = 10;
    Inputs in;
    const SendRunResult r = runSend(account(server.port()), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Completed);
    QCOMPARE(server.received(), good);
    QCOMPARE(logLines(env.logPath).filter(QStringLiteral("Recipient address rejected")).size(), pattern.count('d'));
    // The run never waited on a held reply: it left each connection in time,
    // saying QUIT without waiting for the answer a slowed server holds.
    QVERIFY(in.pauses.isEmpty());
    for (const QString &step : server.held())
        QVERIFY2(step == QLatin1String("quit") || holdAfter < 10, qPrintable(step));
    QVERIFY(server.connections() > 1);
}

void TestFaults::eachRecipientGetsOnlyTheirOwnMessage()
{
    // The envelope of the second message travels with the first message's
    // end; the first is refused for now and sent again on its own.
    FaultServer server;
    QVERIFY2(server.start({{QStringLiteral("dataend"), 1, QStringLiteral("refuse:451 4.3.0 Try again later")}}),
             qPrintable(server.error()));
    fill(3);
    Inputs in;
    QCOMPARE(runSend(account(server.port()), w->sendList, in, env).accepted, 3);
    const QList<FaultServer::Stored> got = server.stored();
    QCOMPARE(got.size(), 3);
    for (const FaultServer::Stored &m : got) {
        QCOMPARE(m.rcpt.size(), 1);
        const QString n = m.rcpt[0].mid(1, m.rcpt[0].indexOf(QLatin1Char('@')) - 1);
        QVERIFY2(m.raw.contains(QByteArray("To: <r") + n.toLatin1() + "@example.jp>"), m.raw.constData());
        // The name block is in the base64 body: the message built for this entry.
        const QByteArray body = m.raw.mid(m.raw.indexOf("\r\n\r\n") + 4);
        QVERIFY2(QString::fromUtf8(QByteArray::fromBase64(body)).startsWith(QStringLiteral("宛先%1　様").arg(n)),
                 qPrintable(m.rcpt[0]));
    }
}

void TestFaults::journalTrustsOnlyWhatReachedTheDisk()
{
    fill(200);
    const QString path = env.journalPath;
    {
        SendJournal j;
        QString error;
        QVERIFY2(j.begin(path, JournalContent(), w->sendList, &error), qPrintable(error));
        for (qsizetype i = 0; i < 10; ++i)
            QVERIFY(j.markData(i) && j.markAccepted(i));
        QVERIFY(j.markData(10));
        j.close();
    }
    QByteArray bytes = readBytes(path);
    const QByteArray thisBoot = SendJournal::currentBootId();
    QString error;
    std::optional<JournalState> s = readJournal(path, &error, thisBoot);
    QVERIFY2(s, qPrintable(error));
    QCOMPARE(s->uncertain, QList<qsizetype>{10});
    QCOMPARE(s->acceptedCount(), 10);

    // A line cut off at the end ("A 10" torn to "A 1") or failing its check
    // is ignored and reported, never read as another entry's outcome.
    writeBytes(path, bytes + "A 1");
    s = readJournal(path, &error, thisBoot);
    QCOMPARE(s->uncertain, QList<qsizetype>{10});
    QCOMPARE(s->damaged.size(), 1);
    QByteArray garbled = bytes;
    garbled.replace("A 9 ", "A 8 ");
    writeBytes(path, garbled);
    s = readJournal(path, &error, thisBoot);
    QCOMPARE(s->acceptedCount(), 9);
    QCOMPARE(s->damaged.size(), 1);
    QCOMPARE(s->uncertain, (QList<qsizetype>{9, 10}));

    // After a restart of the machine the lines after the last W line may be
    // lost: every entry it covered without an outcome on the disk may have
    // gone.
    writeBytes(path, bytes.left(bytes.indexOf("D 3 ")));
    s = readJournal(path, &error, QByteArrayLiteral("another-boot"));
    QCOMPARE(s->uncertain.size(), qsizetype(SendJournal::kLease - 3));
    QCOMPARE(s->uncertain.first(), 3);
    QCOMPARE(s->remaining(false).first(), SendJournal::kLease);
    // The same file without a restart: nothing was handed over after D 2.
    s = readJournal(path, &error, thisBoot);
    QVERIFY(s->uncertain.isEmpty());

    // The user's answer is kept: an uncertain entry not to send again.
    writeBytes(path, bytes);
    QVERIFY2(SendJournal::markKept(path, {10}, &error), qPrintable(error));
    s = readJournal(path, &error, thisBoot);
    QVERIFY(s->uncertain.isEmpty());
    QCOMPARE(s->remaining(true).first(), 11);
}

void TestFaults::secondRunOnTheSameLogIsRefused()
{
    writeBytes(env.logPath, sjis(QStringLiteral("前回,a@example.jp,server,件名,2005/04/01 9:05:07\r\n")));
    RunLock other(env.logPath);
    QVERIFY(other.tryLock());
    fill(2);
    Inputs in;
    const SendRunResult r = runSend(account(unusedLoopbackPort()), w->sendList, in, env);
    QCOMPARE(r.outcome, SendRunResult::Outcome::Busy);
    QVERIFY2(r.text.contains(
                 QStringLiteral("another run is using SendMail.Log (PID %1)").arg(QCoreApplication::applicationPid())),
             qPrintable(r.text));
    // Nothing was touched: the last run's log and no journal.
    QCOMPARE(logLines(env.logPath).size(), 1);
    QVERIFY(!QFile::exists(env.journalPath));
}

void TestFaults::serverTextIsShownWithoutItsControlCharacters()
{
    // A refusal that would set a terminal's title and clear its screen.
    FaultServer server;
    QVERIFY2(server.start({{QStringLiteral("rcpt"), 1,
                            QStringLiteral("refuse:550 \x1b]0;owned\x07\x1b[2J no such user\x7f\u0085")}}),
             qPrintable(server.error()));
    fill(1);
    Inputs in;
    runSend(account(server.port()), w->sendList, in, env);
    const QString record = logLines(env.logPath).value(1);
    QVERIFY2(record.contains(QStringLiteral("550 \\x1b]0;owned\\x07\\x1b[2J no such user\\x7f\\x85")),
             qPrintable(record));
    for (QChar c : record)
        QVERIFY(c.unicode() >= 0x20 && c.unicode() != 0x7f);
}

void TestFaults::logNeverKeepsHalfARecord()
{
    // The file may grow to a size that ends in the middle of the second
    // record, as a full disk would let it.
    SentMailLog log;
    QVERIFY(log.open(env.logPath, QStringLiteral("山田商店"), QStringLiteral("shop@example.jp"),
                     QStringLiteral("127.0.0.1"), QStringLiteral("件名"), kClock));
    QVERIFY(log.writeSuccess(QStringLiteral("宛先一"), QString(), QStringLiteral("a@example.jp"), kClock));
    const QByteArray whole = readBytes(env.logPath);
    bool written = true;
    {
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = rlim_t(whole.size() + 7);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        written = log.writeSuccess(QStringLiteral("宛先二"), QString(), QStringLiteral("b@example.jp"), kClock);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }
    QVERIFY(!written);
    QVERIFY2(log.errorString().startsWith(env.logPath), qPrintable(log.errorString()));
    // The records before it stand whole, and the next one follows them.
    QCOMPARE(readBytes(env.logPath), whole);
    QVERIFY(log.writeSuccess(QStringLiteral("宛先三"), QString(), QStringLiteral("c@example.jp"), kClock));
    QCOMPARE(logLines(env.logPath).size(), 3);
    QVERIFY(logLines(env.logPath)[2].startsWith(QStringLiteral("宛先三,,c@example.jp,送信済")));
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
