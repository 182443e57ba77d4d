#include "commandrun.h"
#include "faultserver.h"
#include "sendjournal.h"
#include "testutil.h"

#include <QtTest>

// A real "quillpost send" killed (SIGKILL) at each stage of a run and then
// finished with --resume, counted per address at the server: every address
// gets its message, and only an entry the resume named may get it twice.
// QUILLPOST_KILLS sets the kills per stage (2 unless given).
class TestKillResume : public QObject {
    Q_OBJECT
private slots:
    void killedAtAnyStageLosesNothing_data();
    void killedAtAnyStageLosesNothing();
};

namespace {

constexpr int kEntries = 30;

enum class Stage { BeforeFirst, PacingWait, AfterData, BetweenMessages, DuringQuit };

int killsPerStage()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("QUILLPOST_KILLS", &ok);
    return ok && n > 0 ? n : 2;
}

// The entry whose message is the moment of the kill, varied from kill to kill.
int momentOf(int kill)
{
    return 2 + (kill * 7) % (kEntries - 4);
}

// Entries whose data went and whose reply has not come.
qsizetype onTheirWay(const QString &journal)
{
    QString error;
    const std::optional<JournalState> s = readJournal(journal, &error);
    return s ? s->uncertain.size() : 0;
}

bool accepted(const QString &journal, int entry)
{
    QString error;
    const std::optional<JournalState> s = readJournal(journal, &error);
    return s && s->state.value(entry) == JournalState::Entry::Accepted;
}

} // namespace

void TestKillResume::killedAtAnyStageLosesNothing_data()
{
    QTest::addColumn<Stage>("stage");
    // With CHUNKING the account's window of 20 messages is in flight.
    QTest::addColumn<bool>("chunking");
    QTest::newRow("before the first message") << Stage::BeforeFirst << false;
    QTest::newRow("in a pacing wait") << Stage::PacingWait << false;
    QTest::newRow("after the data, before its reply") << Stage::AfterData << false;
    QTest::newRow("between messages") << Stage::BetweenMessages << false;
    QTest::newRow("during QUIT") << Stage::DuringQuit << false;
    QTest::newRow("window: before the first reply") << Stage::BeforeFirst << true;
    QTest::newRow("window: after a message's data") << Stage::AfterData << true;
    QTest::newRow("window: during QUIT") << Stage::DuringQuit << true;
}

void TestKillResume::killedAtAnyStageLosesNothing()
{
    QFETCH(Stage, stage);
    QFETCH(bool, chunking);
    constexpr int kWindow = 20;
    int missing = 0, doubles = 0, named = 0;
    const int kills = killsPerStage();
    for (int kill = 0; kill < kills; ++kill) {
        TestWorld w;
        const int entries = kEntries;
        QByteArray csv;
        for (int i = 0; i < entries; ++i)
            csv += QStringLiteral("顧客%1,,c%1@example.jp\r\n").arg(i).toUtf8();
        writeBytes(w.path(QStringLiteral("list.csv")), csv);
        writeBytes(w.path(QStringLiteral("body.txt")), sjis(QStringLiteral("本文")));
        const CommandWorld world(w.path(QStringLiteral("config")), w.dir.path());
        const int k = momentOf(kill);
        QList<FaultServer::Rule> rules;
        if (stage == Stage::BeforeFirst)
            rules << FaultServer::Rule{QStringLiteral("mail"), 1, QStringLiteral("stall")};
        // Message k has its reply, the next has not gone: the server holds
        // back its go-ahead for the data.
        if (stage == Stage::BetweenMessages)
            rules << FaultServer::Rule{QStringLiteral("data"), k + 2, QStringLiteral("stall")};
        if (stage == Stage::AfterData)
            rules << FaultServer::Rule{QStringLiteral("dataend"), k + 1, QStringLiteral("stall")};
        if (stage == Stage::DuringQuit)
            rules << FaultServer::Rule{QStringLiteral("quit"), 1, QStringLiteral("stall")};
        FaultServer server;
        server.setChunking(chunking);
        // Without pipelining the next envelope does not travel with a message's end,
        // so "between messages" is a moment of its own.
        QVERIFY2(server.start(rules, stage != Stage::BetweenMessages), qPrintable(server.error()));
        // Five seconds between messages: killed in the wait after the first.
        world.writeAccount(0, server.port(), stage == Stage::PacingWait ? 12 : 0);
        const QString log = w.path(QStringLiteral("run.log"));
        const QString journal = SendJournal::pathBeside(log);

        QProcess run;
        world.start(run,
                    {QStringLiteral("send"), QStringLiteral("--account"), QStringLiteral("0"), QStringLiteral("--list"),
                     QStringLiteral("list.csv"), QStringLiteral("--subject"), QStringLiteral("件名"),
                     QStringLiteral("--body"), QStringLiteral("body.txt"), QStringLiteral("--log"), log});
        switch (stage) {
        case Stage::PacingWait: QTRY_VERIFY_WITH_TIMEOUT(accepted(journal, 0), 30000); break;
        default: QTRY_VERIFY_WITH_TIMEOUT(server.hasStalled(), 30000); break;
        }
        // No reply comes: the whole window goes, and no more.
        if (chunking && stage == Stage::BeforeFirst)
            QTRY_COMPARE_WITH_TIMEOUT(onTheirWay(journal), kWindow, 30000);
        run.kill();
        QVERIFY(run.waitForFinished(5000));
        QCOMPARE(run.exitStatus(), QProcess::CrashExit);

        // The resume at full speed; after a kill in QUIT nothing is left.
        world.writeAccount(0, server.port());
        const CommandRun resumed = world.run(
            {QStringLiteral("send"), QStringLiteral("--resume"), QStringLiteral("--log"), log});
        QVERIFY2(resumed.exit == 0 || (stage == Stage::DuringQuit && resumed.err.contains("no run to finish")),
                 qPrintable(resumed.err));
        const QMap<QString, int> got = server.received();
        for (int i = 0; i < entries; ++i) {
            const QString address = QStringLiteral("c%1@example.jp").arg(i);
            const int n = got.value(address);
            missing += n == 0 ? 1 : 0;
            if (n > 1) {
                ++doubles;
                named += resumed.err.contains(QLatin1Char('<') + address + QStringLiteral(">) was on its way")) ? 1 : 0;
            }
        }
        QVERIFY(!QFile::exists(journal));
        if (chunking && stage == Stage::BeforeFirst)
            QCOMPARE(resumed.err.count(QStringLiteral("was on its way")), kWindow);
    }
    qInfo("%s | kills %d | missing %d | doubles %d | doubles named %d", QTest::currentDataTag(), kills, missing,
          doubles, named);
    QCOMPARE(missing, 0);
    QCOMPARE(named, doubles);
}

QTEST_GUILESS_MAIN(TestKillResume)
#include "tst_killresume.moc"
