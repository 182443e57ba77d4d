// The connection test against real servers on loopback: the steps it shows
// for a working account and for accounts that fail at each step.

#include "connectioncheck.h"
#include "mailservers.h"
#include "runfixture.h"

#include <QtTest>

namespace {

const char kSecret[] = "secret";

// Each step as "✔ title" or "✖ title".
QStringList marked(const QList<CheckStep> &steps)
{
    QStringList out;
    for (const CheckStep &s : steps)
        out << (s.passed ? QStringLiteral("✔ ") : QStringLiteral("✖ ")) + s.title;
    return out;
}

} // namespace

class TestConnectionCheck : public QObject {
    Q_OBJECT
private slots:
    void stepsSayWhatEachConnectionSaw_data();
    void stepsSayWhatEachConnectionSaw();
};

void TestConnectionCheck::stepsSayWhatEachConnectionSaw_data()
{
    QTest::addColumn<QString>("account"); // what the account and its servers are
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("seen"); // texts the steps show, in order
    QTest::addColumn<QString>("hint");     // a piece of what to change; "" when it passed

    const QStringList pop = {"✔ POP3: 接続", "✔ POP3: 暗号化", "✔ POP3: ログイン"};
    const QStringList smtp = {"✔ SMTP: 接続", "✔ SMTP: EHLO", "✔ SMTP: 暗号化"};
    QTest::newRow("working: POP before SMTP, STARTTLS, SMTP AUTH")
        << "working" << pop + smtp + QStringList{"✔ SMTP: ログイン", "✔ SMTP: 終了"}
        << QStringList{"127.0.0.1:",
                       "（STLS）",
                       "shop としてログインしました（メール 0 通）",
                       "PIPELINING: あり\nSIZE: 33,554,432 バイトまで\nSMTPUTF8: あり\nCHUNKING: なし\nAUTH: LOGIN "
                       "PLAIN",
                       "で暗号化しました（STARTTLS）。\n証明書: 検証済みです。\n発行先: CN=localhost",
                       "shop としてログインしました。",
                       "QUIT"}
        << "";
    QTest::newRow("wrong password") << "wrong password"
                                    << QStringList{"✔ SMTP: 接続", "✔ SMTP: EHLO", "✔ SMTP: 暗号化", "✖ SMTP: ログイン"}
                                    << QStringList{"暗号化されていません（サーバーが STARTTLS に対応していません）。",
                                                   "AUTH LOGIN failed (535"}
                                    << "ユーザー名またはパスワードが正しくありません。";
    QTest::newRow("nothing listens") << "unreachable" << QStringList{"✖ SMTP: 接続"}
                                     << QStringList{"に接続できませんでした。"} << "サーバーが応答していません。";
    QTest::newRow("STARTTLS required, none offered")
        << "no STARTTLS" << QStringList{"✔ SMTP: 接続", "✔ SMTP: EHLO", "✖ SMTP: 暗号化"}
        << QStringList{"AUTH: なし（ログイン不要）", "the server offers no STARTTLS"} << "「SSL/TLS」";
    QTest::newRow("certificate nobody vouches for")
        << "untrusted" << QStringList{"✔ SMTP: 接続", "✖ SMTP: 暗号化"}
        << QStringList{"the server's certificate is not trusted"} << "証明書";
    QTest::newRow("POP3 login refused") << "wrong POP3 password"
                                        << QStringList{"✔ POP3: 接続", "✔ POP3: 暗号化", "✖ POP3: ログイン"}
                                        << QStringList{"-ERR"} << "ユーザー名またはパスワード";
}

void TestConnectionCheck::stepsSayWhatEachConnectionSaw()
{
    QFETCH(QString, account);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, seen);
    QFETCH(QString, hint);

    SmtpTestServer smtp;
    Pop3TestServer pop;
    AccountRecord a = ::account(0, true, QString::fromLatin1(kSecret));
    QTemporaryDir dir;
    if (account == QLatin1String("working") || account == QLatin1String("wrong POP3 password")) {
        QVERIFY2(smtp.start(SmtpTestServer::Mode::StartTls, a.User, a.UserPass), qPrintable(smtp.error()));
        QVERIFY2(pop.start(a.User, a.UserPass, Pop3TestServer::Tls::Stls), qPrintable(pop.error()));
        // One file trusts both throw-away certificates.
        const QString both = dir.filePath(QStringLiteral("both.pem"));
        writeBytes(both, readBytes(smtp.caFile()) + readBytes(pop.caFile()));
        a.CaFile = both;
        a.Check2V = 1;
        a.Pop3Port = QString::number(pop.port());
        if (account == QLatin1String("wrong POP3 password"))
            a.UserPass = QStringLiteral("wrong");
    } else if (account == QLatin1String("wrong password")) {
        QVERIFY2(smtp.start(SmtpTestServer::Mode::Auth, a.User, a.UserPass), qPrintable(smtp.error()));
        a.UserPass = QStringLiteral("wrong");
    } else if (account == QLatin1String("no STARTTLS")) {
        QVERIFY2(smtp.start(SmtpTestServer::Mode::Plain), qPrintable(smtp.error()));
        a.SmtpSecurity = ConnectionSecurity::StartTls;
    } else if (account == QLatin1String("untrusted")) {
        QVERIFY2(smtp.start(SmtpTestServer::Mode::ImplicitTls), qPrintable(smtp.error()));
        a.SmtpSecurity = ConnectionSecurity::Tls;
    }
    a.szPort = QString::number(account == QLatin1String("unreachable") ? unusedLoopbackPort() : smtp.port());

    QList<CheckStep> reported;
    const ConnectionCheckResult r = checkConnection(a, TransportOptions{}, [&](const CheckStep &s) { reported << s; });
    QCOMPARE(marked(r.steps), steps);
    // Each step is reported as it ends, as the result holds it.
    QCOMPARE(marked(reported), steps);
    QCOMPARE(r.passed, hint.isEmpty());
    QString shown;
    for (const CheckStep &s : r.steps)
        shown += s.text + QLatin1Char('\n');
    qsizetype from = 0;
    for (const QString &piece : seen) {
        const qsizetype at = shown.indexOf(piece, from);
        QVERIFY2(at >= 0, qPrintable(piece + QStringLiteral(" in\n") + shown));
        from = at + piece.size();
    }
    QVERIFY2(r.hint.contains(hint), qPrintable(r.hint));
    // The test sends no mail, and remembers the SIZE the server offered.
    QCOMPARE(smtp.messageCount(), 0);
    if (account == QLatin1String("working"))
        QCOMPARE(r.smtpSizeLimit, std::optional<qint64>(33554432));
    QCOMPARE(bool(r.untrusted), account == QLatin1String("untrusted"));
}

QTEST_GUILESS_MAIN(TestConnectionCheck)
#include "tst_connectioncheck.moc"
