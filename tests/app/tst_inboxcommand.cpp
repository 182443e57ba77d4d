// The program run as "quillpost inbox", as a script or a scheduled job runs
// it, against a real Dovecot: its exit status, the lines it prints, the
// address file it is given and the messages it deletes.

#include "addressdb.h"
#include "bouncemail.h"
#include "commandrun.h"
#include "mailservers.h"
#include "settingkeys.h"
#include "settingsstore.h"
#include "suppression.h"
#include "unsubscribetoken.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A copy of the program in a folder of its own (its CSV goes beside it),
// with profile 0 reading the mailbox at port and profile 1 a server that
// does not answer.
struct World {
    QTemporaryDir dir;
    CommandWorld command{dir.filePath(QStringLiteral("config")), dir.path()};
    QString bin = dir.filePath(QStringLiteral("bin"));

    bool setUp(int port)
    {
        if (!QDir().mkpath(bin)
            || !QFile::copy(QStringLiteral(QUILLPOST_BINARY_DIR "/quillpost"), bin + QStringLiteral("/quillpost")))
            return false;
        command.setProgram(bin + QStringLiteral("/quillpost"));
        command.writeAccount(0, 25);
        command.writeAccount(1, 25);
        SettingsStore s(dir.filePath(QStringLiteral("config/Quillpost/Quillpost.ini")));
        s.setValue(Setting::Pop3Port, QString::number(port), 0);
        s.setValue(Setting::Pop3Port, QString::number(unusedLoopbackPort()), 1);
        for (int profile : {0, 1}) {
            s.setValue(Setting::User, QStringLiteral("shop"), profile);
            s.setSecret(Setting::Password, QStringLiteral("secret"), profile);
        }
        secret = unsubscribeSecret(s);
        s.sync();
        return true;
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QByteArray secret;
};

} // namespace

class TestInboxCommand : public QObject {
    Q_OBJECT
private slots:
    void refusesWhatItCannotRun_data();
    void refusesWhatItCannotRun();
    void readsDeletesWhatItActedOnAndNothingTwice();
};

void TestInboxCommand::refusesWhatItCannotRun_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says"); // on stderr
    const QString in = QStringLiteral("inbox");
    const QString account = QStringLiteral("--account");
    QTest::newRow("no account") << QStringList{in} << 1 << QStringLiteral("quillpost inbox: --account is missing");
    QTest::newRow("account 7") << QStringList{in, account, QStringLiteral("7")} << 1
                               << QStringLiteral("quillpost inbox: --account must be 0 to 4, not \"7\"");
    QTest::newRow("account not set up") << QStringList{in, account, QStringLiteral("3")} << 1
                                        << QStringLiteral("quillpost inbox: メールサーバー情報に誤りがあります。");
    QTest::newRow("no such address file")
        << QStringList{in, account, QStringLiteral("0"), QStringLiteral("--database"), QStringLiteral("/nowhere/a.cdb")}
        << 1 << QStringLiteral("quillpost inbox: /nowhere/a.cdb: ");
    QTest::newRow("server unreachable") << QStringList{in, account, QStringLiteral("1")} << 2
                                        << QStringLiteral("quillpost inbox: POP3 サーバーに接続できませんでした。");
}

void TestInboxCommand::refusesWhatItCannotRun()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exit);
    QFETCH(QString, says);
    World w;
    QVERIFY(w.setUp(unusedLoopbackPort()));
    const CommandRun r = w.command.run(arguments);
    QCOMPARE(r.exit, exit);
    QVERIFY2(r.err.startsWith(says), qPrintable(r.err));
}

void TestInboxCommand::readsDeletesWhatItActedOnAndNothingTwice()
{
    Pop3TestServer pop;
    QVERIFY2(pop.start(QStringLiteral("shop"), QStringLiteral("secret")), qPrintable(pop.error()));
    World w;
    QVERIFY(w.setUp(pop.port()));
    const BounceMail mail(w.secret);
    QVERIFY(pop.deliver(QStringLiteral("shop"), QStringLiteral("1.bounce"),
                        mail.postfixDsn(QStringLiteral("a@example.jp"), "failed", "5.1.1", "550 5.1.1 User unknown")));
    QVERIFY(pop.deliver(QStringLiteral("shop"), QStringLiteral("2.unsubscribe"),
                        BounceMail::personal(QStringLiteral("i@example.jp"), QStringLiteral("Re: 配信停止"))));
    QVERIFY(pop.deliver(QStringLiteral("shop"), QStringLiteral("3.reply"),
                        BounceMail::personal(QStringLiteral("k@example.jp"), QStringLiteral("Re: 6月のお知らせ"))));
    const QString file = w.path(QStringLiteral("customers.cdb"));
    {
        AddressDb db;
        QVERIFY(db.open(file, true));
        for (const QString &a : {QStringLiteral("a@example.jp"), QStringLiteral("i@example.jp")})
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 宛先 (送信区分, メールアドレス) VALUES (1, ?)"), {a}));
    }
    const QStringList arguments = {
        QStringLiteral("inbox"),   QStringLiteral("--account"), QStringLiteral("0"), QStringLiteral("--database"), file,
        QStringLiteral("--delete")};

    CommandRun r = w.command.run(arguments);
    QCOMPARE(r.exit, 0);
    QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(QStringLiteral("a@example.jp\tエラー 5.1.1 550 5.1.1 User unknown\t"))
                 || lines[1].startsWith(QStringLiteral("a@example.jp\tエラー 5.1.1 550 5.1.1 User unknown\t")),
             qPrintable(r.out));
    QVERIFY2(lines[0].startsWith(QStringLiteral("i@example.jp\t配信停止\t"))
                 || lines[1].startsWith(QStringLiteral("i@example.jp\t配信停止\t")),
             qPrintable(r.out));
    QCOMPARE(lines[2],
             QStringLiteral("新しいメール 3件、エラー 1件、配信停止 1件、遅延 0件、判定できないエラーメール 0件、"
                            "読めないメール 0件、削除 2件"));
    {
        AddressDb db;
        QVERIFY(db.open(file, false));
        QCOMPARE(suppressions(db).size(), 2);
    }
    QCOMPARE(pop.mailbox(QStringLiteral("shop")), QStringList{QStringLiteral("3.reply")});
    QVERIFY(QFile::exists(w.bin + QStringLiteral("/配信停止.csv")));

    r = w.command.run(arguments);
    QCOMPARE(r.exit, 0);
    QCOMPARE(r.out,
             QStringLiteral("新しいメール 0件、エラー 0件、配信停止 0件、遅延 0件、判定できないエラーメール 0件、"
                            "読めないメール 0件、削除 0件\n"));
}

QTEST_GUILESS_MAIN(TestInboxCommand)
#include "tst_inboxcommand.moc"
