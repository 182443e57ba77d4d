#include "addressdb.h"
#include "commandrun.h"
#include "faultserver.h"
#include "mailservers.h"
#include "runlock.h"
#include "sendjournal.h"
#include "sendlist.h"
#include "settingsstore.h"
#include "suppression.h"
#include "testutil.h"
#include "textcodec.h"
#include "unsubscribe.h"

#include <QProcess>
#include <QtTest>

// The program run as "quillpost send", as a script or a scheduled job runs
// it: its own settings folder, files on disk, a real server on loopback.
class TestSendCommand : public QObject {
    Q_OBJECT
private slots:
    void init();
    void sendsTheListAndSaysSo();
    void unreachableServerExitsWithTwo();
    void aSuppressedAddressIsLeftOutOfTheRun();
    void checkShowsEachStepAndExitsAsSend();
    void untrustedCertificateIsRefusedWithItsDetailsUntilPinned();
    void dryRunWritesEachMessageAndConnectsToNothing();
    void killedRunIsFinishedWithResume();
    void resumeUsesNoJournalItCannotTrust();
    void pendingJournalIsNeverOverwritten();
    void resumeSendsWhatTheJournalHolds();
    void secondRunOnTheSameLogIsRefused();
    void iso2022JpMailReadsBackWithNkfAndPython();
    void charactersIso2022JpCannotCarryStopTheSend_data();
    void charactersIso2022JpCannotCarryStopTheSend();
    void badInputExitsWithOneAndNamesIt_data();
    void badInputExitsWithOneAndNamesIt();
    void advertisingWithoutNoticeStopsUnlessTold_data();
    void advertisingWithoutNoticeStopsUnlessTold();

private:
    using Run = CommandRun;
    Run run(const QStringList &arguments) { return world->run(arguments); }
    void writeAccount(int port) { world->writeAccount(2, port); }
    // The arguments of a run of list.csv with body.txt on account 2.
    QStringList sendArguments() const;
    // Killed after its first message: a journal with entries left.
    void leaveAPendingJournal(FaultServer &server);
    std::unique_ptr<TestWorld> w;
    std::unique_ptr<CommandWorld> world;
    QString config;
};

void TestSendCommand::init()
{
    w = std::make_unique<TestWorld>();
    config = w->path(QStringLiteral("config"));
    writeBytes(
        w->path(QStringLiteral("list.csv")),
        QStringLiteral("山田 太郎,営業部,taro@example.jp\n鈴木,,ＳＵＺＵＫＩ@EXAMPLE.JP\nno address,,none\n").toUtf8());
    writeBytes(w->path(QStringLiteral("body.txt")), sjis(QStringLiteral("いつもお世話になっております。\r\n以上")));
    world = std::make_unique<CommandWorld>(config, w->dir.path());
}

QStringList TestSendCommand::sendArguments() const
{
    return {QStringLiteral("send"),   QStringLiteral("--account"),       QStringLiteral("2"),
            QStringLiteral("--list"), QStringLiteral("list.csv"),        QStringLiteral("--subject"),
            QStringLiteral("件名"),   QStringLiteral("--body"),          QStringLiteral("body.txt"),
            QStringLiteral("--log"),  w->path(QStringLiteral("run.log"))};
}

// The second message is stored, and the run killed before its reply.
void TestSendCommand::leaveAPendingJournal(FaultServer &server)
{
    QVERIFY2(server.start({{QStringLiteral("dataend"), 2, QStringLiteral("stall")}}), qPrintable(server.error()));
    writeAccount(server.port());
    QProcess p;
    world->start(p, sendArguments());
    QTRY_VERIFY_WITH_TIMEOUT(server.hasStalled(), 30000);
    p.kill();
    QVERIFY(p.waitForFinished(5000));
}

void TestSendCommand::sendsTheListAndSaysSo()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    writeAccount(smtp.port());
    const QString log = w->path(QStringLiteral("run.log"));
    const Run r = run({QStringLiteral("send"), QStringLiteral("--account"), QStringLiteral("2"),
                       QStringLiteral("--list"), QStringLiteral("list.csv"), QStringLiteral("--subject"),
                       QStringLiteral("ご案内 ①"), QStringLiteral("--body"), QStringLiteral("body.txt"),
                       QStringLiteral("--name-block"), QStringLiteral("--no-honorific"), QStringLiteral("--log"), log});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("2件の送信を完了しました。\n"));
    QVERIFY2(r.err.contains(QStringLiteral("record 3 skipped, no @ in \"none\"")), qPrintable(r.err));
    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 2);
    QCOMPARE(got[0].subject, QStringLiteral("ご案内 ①"));
    QCOMPARE(got[0].text, QStringLiteral("山田 太郎\r\n営業部\r\nいつもお世話になっております。\r\n以上\r\n"));
    // The list's addresses are normalised as the import does.
    QCOMPARE(got[1].envelopeTo, QStringList{QStringLiteral("suzuki@example.jp")});
    const auto text = decodeCp932(readBytes(log));
    QVERIFY(text);
    QCOMPARE(text->count(QStringLiteral("送信済")), 2);
    QVERIFY(text->startsWith(QStringLiteral("山田商店,shop@example.jp,127.0.0.1,ご案内 ①,")));
}

void TestSendCommand::aSuppressedAddressIsLeftOutOfTheRun()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    writeAccount(smtp.port());
    const QString book = w->path(QStringLiteral("book.cdb"));
    {
        AddressDb db;
        QVERIFY(db.open(book, true));
        QVERIFY(suppressAddress(db, QStringLiteral("suzuki@example.jp"), SuppressionReason::unsubscribed(),
                                QDate(2026, 12, 1))
                    .ok);
    }
    SettingsStore(config + QStringLiteral("/Quillpost/Quillpost.ini")).setValue(Setting::DatabaseFile, book);
    const Run r = run(sendArguments());
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("1件の送信を完了しました。\n配信停止中のアドレス 1件には送信しませんでした。\n"));
    QCOMPARE(smtp.messages().size(), 1);
    QCOMPARE(smtp.messages()[0].envelopeTo, QStringList{QStringLiteral("taro@example.jp")});

    // A file that can't be read stops the run before it connects.
    writeBytes(book, QByteArray(4096, 'x'));
    const Run blind = run(sendArguments());
    QCOMPARE(blind.exit, 1);
    QVERIFY2(blind.err.contains(QStringLiteral("the suppressed addresses can't be read")), qPrintable(blind.err));
    QCOMPARE(smtp.messages().size(), 1);
}

void TestSendCommand::unreachableServerExitsWithTwo()
{
    writeAccount(unusedLoopbackPort());
    const Run r = run({QStringLiteral("send"), QStringLiteral("--account"), QStringLiteral("2"),
                       QStringLiteral("--list"), QStringLiteral("list.csv"), QStringLiteral("--subject"),
                       QStringLiteral("件名"), QStringLiteral("--body"), QStringLiteral("body.txt"),
                       QStringLiteral("--log"), w->path(QStringLiteral("run.log"))});
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.out.startsWith(QStringLiteral("メールサーバーに接続できません。Cant connect Server")),
             qPrintable(r.out));
}

void TestSendCommand::checkShowsEachStepAndExitsAsSend()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    writeAccount(smtp.port());
    const Run ok = run({QStringLiteral("check"), QStringLiteral("--account"), QStringLiteral("2")});
    QCOMPARE(ok.exit, 0);
    for (const char *piece : {"[OK] SMTP: 接続\n      127.0.0.1:", "[OK] SMTP: EHLO\n      PIPELINING: あり",
                              "[OK] SMTP: 終了", "接続テストに成功しました。\n"})
        QVERIFY2(ok.out.contains(QString::fromUtf8(piece)), qPrintable(ok.out));
    QCOMPARE(smtp.messageCount(), 0);
    // The SIZE the server offered stays with the account.
    QCOMPARE(SettingsStore(config + QStringLiteral("/Quillpost/Quillpost.ini")).value(Setting::SmtpSizeLimit, 2),
             QStringLiteral("33554432"));

    writeAccount(unusedLoopbackPort());
    const Run down = run({QStringLiteral("check"), QStringLiteral("--account"), QStringLiteral("2")});
    QCOMPARE(down.exit, 2);
    QVERIFY2(down.out.contains(QStringLiteral("[NG] SMTP: 接続"))
                 && down.out.contains(QStringLiteral("接続テストに失敗しました。")),
             qPrintable(down.out));
    const Run never = run({QStringLiteral("check"), QStringLiteral("--account"), QStringLiteral("4")});
    QCOMPARE(never.exit, 1);
    QVERIFY2(never.err.startsWith(QStringLiteral("quillpost check: メールサーバー情報に誤りがあります。")),
             qPrintable(never.err));
}

void TestSendCommand::untrustedCertificateIsRefusedWithItsDetailsUntilPinned()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::ImplicitTls), qPrintable(smtp.error()));
    writeAccount(smtp.port());
    const QString ini = config + QStringLiteral("/Quillpost/Quillpost.ini");
    SettingsStore(ini).setValue(Setting::SmtpSecurity, QStringLiteral("2"), 2);

    const Run refused = run(sendArguments());
    QCOMPARE(refused.exit, 2);
    for (const char *piece : {"SMTP サーバー（127.0.0.1:", "発行者が不明です。", "発行先: CN=localhost",
                              "有効な名前: localhost, 127.0.0.1", "SHA-256 フィンガープリント: ", "公開鍵: sha256//"})
        QVERIFY2(refused.err.contains(QString::fromUtf8(piece)), qPrintable(refused.err));
    QCOMPARE(smtp.messageCount(), 0);

    // The key it showed, trusted for the account as the window would.
    static const QRegularExpression key(QStringLiteral("公開鍵: (sha256//\\S+)"));
    SettingsStore(ini).setValue(Setting::PinnedKeys, key.match(refused.err).captured(1), 2);
    // The run that stopped on it is finished.
    const Run pinned = run(sendArguments() << QStringLiteral("--resume"));
    QVERIFY2(pinned.exit == 0, qPrintable(pinned.err));
    QCOMPARE(smtp.messageCount(), 2);
}

void TestSendCommand::dryRunWritesEachMessageAndConnectsToNothing()
{
    writeAccount(unusedLoopbackPort());
    const Run r = run({QStringLiteral("send"), QStringLiteral("--account"), QStringLiteral("2"),
                       QStringLiteral("--list"), QStringLiteral("list.csv"), QStringLiteral("--subject"),
                       QStringLiteral("件名"), QStringLiteral("--body"), QStringLiteral("body.txt"),
                       QStringLiteral("--dry-run"), QStringLiteral("out")});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("2件のメッセージを out に書き出しました（UTF-8）。\n"));
    QCOMPARE(QDir(w->path(QStringLiteral("out"))).entryList(QDir::Files),
             (QStringList{"00001.eml", "00002.eml", "envelope.csv"}));
    QCOMPARE(readBytes(w->path(QStringLiteral("out/envelope.csv"))),
             QByteArray("1,shop@example.jp,taro@example.jp\r\n2,shop@example.jp,suzuki@example.jp\r\n"));
    QVERIFY(readBytes(w->path(QStringLiteral("out/00002.eml"))).contains("\r\nTo: <suzuki@example.jp>\r\n"));
    QVERIFY(!QFile::exists(w->path(QStringLiteral("run.log"))));
}

// What Windows mail programs read (nkf in its code page 932 mode) and what
// the JIS X 0208 standard reads (Python's email package, in the server).
void TestSendCommand::iso2022JpMailReadsBackWithNkfAndPython()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    writeAccount(smtp.port());
    const QString subject = QStringLiteral("【ご案内】年末年始の営業日について、および新しい商品のお知らせ");
    const QString line1 = QStringLiteral("いつもお世話になっております。");
    const QString line2 = QStringLiteral("①㈱Ⅲ～－￢ ｶﾀｶﾅ");
    writeBytes(w->path(QStringLiteral("body.txt")), sjis(line1 + QStringLiteral("\r\n") + line2));
    QStringList arguments = sendArguments();
    arguments[arguments.indexOf(QStringLiteral("件名"))] = subject;
    const Run r = run(arguments << QStringLiteral("--name-block") << QStringLiteral("--charset")
                                << QStringLiteral("iso-2022-jp"));
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 2);
    const QString head = QStringLiteral("山田 太郎\r\n営業部　様\r\n");
    QCOMPARE(got[0].subject, subject);
    QVERIFY2(got[0].text.startsWith(head + line1 + QStringLiteral("\r\n")), qPrintable(got[0].text));
    QVERIFY(
        got[0].raw.contains("Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n"));
    QProcess nkf;
    nkf.start(QStringLiteral("nkf"), {QStringLiteral("-w"), QStringLiteral("--cp932"), QStringLiteral("-m")});
    QVERIFY(nkf.waitForStarted());
    nkf.write(got[0].raw);
    nkf.closeWriteChannel();
    QVERIFY(nkf.waitForFinished());
    const QString read = QString::fromUtf8(nkf.readAllStandardOutput());
    QVERIFY2(read.contains(QStringLiteral("Subject: ") + subject + QStringLiteral("\r\n")), qPrintable(read));
    QVERIFY2(read.contains(head + line1 + QStringLiteral("\r\n①㈱Ⅲ～－￢ カタカナ\r\n")), qPrintable(read));
}

void TestSendCommand::charactersIso2022JpCannotCarryStopTheSend_data()
{
    QTest::addColumn<QStringList>("fallback");
    QTest::addColumn<int>("exit");
    QTest::addColumn<int>("sent");
    QTest::newRow("stops") << QStringList() << 1 << 0;
    QTest::newRow("UTF-8 when asked") << QStringList{QStringLiteral("--charset-fallback"), QStringLiteral("utf-8")} << 0
                                      << 2;
}

void TestSendCommand::charactersIso2022JpCannotCarryStopTheSend()
{
    QFETCH(QStringList, fallback);
    QFETCH(int, exit);
    QFETCH(int, sent);
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    writeAccount(smtp.port());
    writeBytes(w->path(QStringLiteral("body.txt")), QStringLiteral("髙橋です😀\r\n").toUtf8());
    QStringList arguments = sendArguments();
    arguments[arguments.indexOf(QStringLiteral("件名"))] = QStringLiteral("ご案内😀");
    const Run r = run(arguments << QStringLiteral("--charset") << QStringLiteral("iso-2022-jp") << fallback);
    QCOMPARE(r.exit, exit);
    if (exit != 0)
        QVERIFY2(r.err.contains(QStringLiteral("次の文字は ISO-2022-JP では送れません：😀 髙（3 か所）。")),
                 qPrintable(r.err));
    const QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), sent);
    for (const ReceivedMail &m : got) {
        QCOMPARE(m.subject, QStringLiteral("ご案内😀"));
        QVERIFY(m.raw.contains("charset=UTF-8"));
    }
}

void TestSendCommand::killedRunIsFinishedWithResume()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    writeAccount(smtp.port());
    const int n = 2000;
    QByteArray csv;
    for (int i = 0; i < n; ++i)
        csv += QStringLiteral("顧客%1,,c%1@example.jp\r\n").arg(i).toUtf8();
    writeBytes(w->path(QStringLiteral("big.csv")), csv);
    const QStringList args = {QStringLiteral("send"),   QStringLiteral("--account"),       QStringLiteral("2"),
                              QStringLiteral("--list"), QStringLiteral("big.csv"),         QStringLiteral("--subject"),
                              QStringLiteral("件名"),   QStringLiteral("--body"),          QStringLiteral("body.txt"),
                              QStringLiteral("--log"),  w->path(QStringLiteral("run.log"))};
    QProcess p;
    world->start(p, args);
    QTRY_VERIFY_WITH_TIMEOUT(smtp.messageCount() >= 100, 30000);
    p.kill();
    QVERIFY(p.waitForFinished(5000));
    QVERIFY(smtp.messageCount() < n);

    const Run r = run(args + QStringList{QStringLiteral("--resume")});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QMap<QString, int> received;
    for (const ReceivedMail &m : smtp.messages())
        for (const QString &to : m.envelopeTo)
            ++received[to];
    QCOMPARE(received.size(), n);
    // Only the one in flight may have come twice, and it was named.
    const QStringList twice = received.keys(2);
    QVERIFY(twice.size() <= 1);
    for (const QString &address : twice)
        QVERIFY2(r.err.contains(address + QStringLiteral(">) was on its way")), qPrintable(r.err));
    QVERIFY(received.keys(1).size() >= n - 1);
    QVERIFY(!QFile::exists(w->path(QStringLiteral("SendMail.journal"))));

    // Nothing is left to finish now.
    const Run again = run(args + QStringList{QStringLiteral("--resume")});
    QCOMPARE(again.exit, 1);
    QVERIFY(again.err.contains(QStringLiteral("no run to finish")));
}

void TestSendCommand::resumeUsesNoJournalItCannotTrust()
{
    writeAccount(unusedLoopbackPort());
    const QString journal = w->path(QStringLiteral("SendMail.journal"));
    const QStringList args = {QStringLiteral("send"),   QStringLiteral("--account"),        QStringLiteral("2"),
                              QStringLiteral("--list"), QStringLiteral("list.csv"),         QStringLiteral("--subject"),
                              QStringLiteral("件名"),   QStringLiteral("--body"),           QStringLiteral("body.txt"),
                              QStringLiteral("--log"),  w->path(QStringLiteral("run.log")), QStringLiteral("--resume")};
    // A journal of another list stays where it is, unused.
    writeBytes(journal, "{\"journal\":2,\"count\":1,\"digest\":\"3a1dd3c1e8cdbd9a4b6e7fcf2ff2f2f5\"}\n"
                        "[\"x\",\"\",\"x@example.jp\"]\n");
    Run r = run(args);
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QStringLiteral("damaged")) || r.err.contains(QStringLiteral("digest")), qPrintable(r.err));
    QVERIFY(!QFile::exists(journal)); // it could not be read: set aside
    QVERIFY(r.err.contains(QStringLiteral("set aside as ") + journal + QStringLiteral(".unreadable-")));

    // A readable journal written for another list.
    SendList other;
    other.append(QStringLiteral("別"), QString(), QStringLiteral("other@example.jp"));
    SendJournal j;
    QString error;
    QVERIFY(j.begin(journal, JournalContent(), other, &error));
    j.close();
    r = run(args);
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QStringLiteral("was written for another list")), qPrintable(r.err));
    QVERIFY(QFile::exists(journal));
}

void TestSendCommand::pendingJournalIsNeverOverwritten()
{
    FaultServer server;
    leaveAPendingJournal(server);
    const QString journal = w->path(QStringLiteral("SendMail.journal"));
    QVERIFY(QFile::exists(journal));
    // The same command again, without --resume: nothing is sent.
    Run r = run(sendArguments());
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(journal + QStringLiteral(" holds a run that ended early"))
                 && r.err.contains(QStringLiteral("--resume")) && r.err.contains(QStringLiteral("--discard-journal")),
             qPrintable(r.err));
    QCOMPARE(server.stored().size(), 2);
    // Dropping it is a choice the user makes by name.
    r = run(sendArguments() << QStringLiteral("--discard-journal"));
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QCOMPARE(server.stored().size(), 4);
    QVERIFY(!QFile::exists(journal));
}

void TestSendCommand::resumeSendsWhatTheJournalHolds()
{
    FaultServer server;
    leaveAPendingJournal(server);
    // Other content given with --resume is refused, naming what differs.
    writeBytes(w->path(QStringLiteral("other.txt")), sjis(QStringLiteral("別の本文")));
    QStringList changed = sendArguments() << QStringLiteral("--resume");
    changed[changed.indexOf(QStringLiteral("件名"))] = QStringLiteral("別の件名");
    changed[changed.indexOf(QStringLiteral("body.txt"))] = QStringLiteral("other.txt");
    Run r = run(changed);
    QCOMPARE(r.exit, 1);
    QVERIFY2(r.err.contains(QStringLiteral("--subject, --body differs from the run being finished")),
             qPrintable(r.err));
    QCOMPARE(server.stored().size(), 2);

    // --resume alone sends the journal's message; the entry in flight when
    // the run was killed is named, and the log goes on after its records.
    r = run({QStringLiteral("send"), QStringLiteral("--resume"), QStringLiteral("--log"),
             w->path(QStringLiteral("run.log"))});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("record 2 (鈴木 <suzuki@example.jp>) was on its way")), qPrintable(r.err));
    QCOMPARE(server.received(),
             (QMap<QString, int>{{QStringLiteral("taro@example.jp"), 1}, {QStringLiteral("suzuki@example.jp"), 2}}));
    for (const FaultServer::Stored &m : server.stored())
        QVERIFY(m.raw.contains("Subject: =?UTF-8?B?5Lu25ZCN?="));
    const QStringList log = decodeCp932(readBytes(w->path(QStringLiteral("run.log"))))->split(QStringLiteral("\r\n"));
    QCOMPARE(log.filter(QStringLiteral(",件名,")).size(), 1);
    QCOMPARE(log.filter(QStringLiteral("taro@example.jp,送信済")).size(), 1);
    QCOMPARE(log.filter(QStringLiteral("suzuki@example.jp,送信済")).size(), 1);
}

void TestSendCommand::secondRunOnTheSameLogIsRefused()
{
    // A run in progress: stalled at its first message.
    FaultServer server;
    QVERIFY2(server.start({{QStringLiteral("mail"), 1, QStringLiteral("stall")}}), qPrintable(server.error()));
    writeAccount(server.port());
    QProcess first;
    world->start(first, sendArguments());
    QTRY_VERIFY_WITH_TIMEOUT(server.hasStalled(), 30000);
    const Run second = run(sendArguments());
    QCOMPARE(second.exit, 1);
    QVERIFY2(second.err.contains(QStringLiteral("another run is using run.log (PID %1)").arg(first.processId())),
             qPrintable(second.err));
    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QCOMPARE(server.connections(), 1);
    // A dead run's lock is taken over, and its list finished.
    QVERIFY(QFile::exists(RunLock::pathFor(w->path(QStringLiteral("run.log")))));
    const Run third = run(sendArguments() << QStringLiteral("--resume"));
    QVERIFY2(third.exit == 0, qPrintable(third.err));
    QCOMPARE(server.received().size(), 2);
}

void TestSendCommand::badInputExitsWithOneAndNamesIt_data()
{
    QTest::addColumn<QStringList>("change"); // option and value replacing the good one, or removed
    QTest::addColumn<QString>("message");
    QTest::newRow("no list") << QStringList{"--list"} << "--list is missing";
    QTest::newRow("account out of range") << QStringList{"--account", "7"} << "--account must be 0 to 4";
    QTest::newRow("unreadable body") << QStringList{"--body", "missing.txt"} << "missing.txt";
    QTest::newRow("body in no known encoding")
        << QStringList{"--body", "binary.bin"} << "neither UTF-8 nor code page 932";
    QTest::newRow("missing attachment") << QStringList{"--attach", "見積書.pdf"}
                                        << "次の添付ファイルが見つからないか、読めません。 / 見積書.pdf";
    QTest::newRow("account never set up") << QStringList{"--account", "4"} << "メールサーバー情報に誤りがあります。";
    QTest::newRow("unknown option") << QStringList{"--bcc", "x"} << "Unknown option 'bcc'";
}

void TestSendCommand::badInputExitsWithOneAndNamesIt()
{
    QFETCH(QStringList, change);
    QFETCH(QString, message);
    writeAccount(unusedLoopbackPort());
    writeBytes(w->path(QStringLiteral("binary.bin")), QByteArray("\x81\x20\xff\xfe", 4));
    QStringList args = {QStringLiteral("send"),   QStringLiteral("--account"), QStringLiteral("2"),
                        QStringLiteral("--list"), QStringLiteral("list.csv"),  QStringLiteral("--subject"),
                        QStringLiteral("件名"),   QStringLiteral("--body"),    QStringLiteral("body.txt")};
    const qsizetype at = args.indexOf(change[0]);
    if (at < 0)
        args += change;
    else if (change.size() == 1)
        args.remove(at, 2);
    else
        args[at + 1] = change[1];
    const Run r = run(args);
    QCOMPARE(r.exit, 1);
    // One line says what is wrong, after any warnings about the list.
    const QString last = r.err.trimmed().split(QLatin1Char('\n')).last();
    QVERIFY2(last.startsWith(QStringLiteral("quillpost send: ")) && last.contains(message), qPrintable(r.err));
    QVERIFY(!QFile::exists(w->path(QStringLiteral("run.log"))));
}

void TestSendCommand::advertisingWithoutNoticeStopsUnlessTold_data()
{
    QTest::addColumn<QString>("notAdvertising");
    QTest::addColumn<QString>("unsubscribe");
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<int>("exit");
    QTest::newRow("no notice") << "0"
                               << "0" << false << 1;
    QTest::newRow("no notice, told to go on") << "0"
                                              << "0" << true << 0;
    QTest::newRow("footer with name and address") << "0"
                                                  << "1" << false << 0;
    QTest::newRow("not advertising") << "1"
                                     << "0" << false << 0;
}

void TestSendCommand::advertisingWithoutNoticeStopsUnlessTold()
{
    QFETCH(QString, notAdvertising);
    QFETCH(QString, unsubscribe);
    QFETCH(bool, goOn);
    QFETCH(int, exit);
    writeAccount(unusedLoopbackPort());
    {
        SettingsStore s(config + QStringLiteral("/Quillpost/Quillpost.ini"));
        s.setValue(Setting::NotAdvertising, notAdvertising, 2);
        s.setValue(Setting::Unsubscribe, unsubscribe, 2);
        s.setValue(Setting::UnsubscribeFooter, QStringLiteral("発行: 山田商店\r\n停止: {配信停止アドレス}"), 2);
    }
    QStringList arguments = {QStringLiteral("send"),      QStringLiteral("--account"), QStringLiteral("2"),
                             QStringLiteral("--list"),    QStringLiteral("list.csv"),  QStringLiteral("--subject"),
                             QStringLiteral("件名"),      QStringLiteral("--body"),    QStringLiteral("body.txt"),
                             QStringLiteral("--dry-run"), QStringLiteral("out")};
    if (goOn)
        arguments << QStringLiteral("--without-unsubscribe-notice");
    const Run r = run(arguments);
    QVERIFY2(r.exit == exit, qPrintable(r.err));
    QCOMPARE(r.err.contains(kUnsubscribeNoticeQuestion), exit == 1);
    if (exit == 1)
        return;
    const QByteArray eml = readBytes(w->path(QStringLiteral("out/00001.eml")));
    QCOMPARE(eml.contains("List-Unsubscribe: <mailto:shop@example.jp?subject=unsubscribe%20qpu-"),
             unsubscribe == QLatin1String("1"));
}

QTEST_GUILESS_MAIN(TestSendCommand)
#include "tst_sendcommand.moc"
