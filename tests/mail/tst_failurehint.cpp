// The second line under a connection failure: what the transport's text
// means, in words a user can act on.

#include "curltransport.h"
#include "failurehint.h"
#include "mailaddress.h"
#include "mailservers.h"

#include <QtTest>

namespace {

const QString kLogin = QStringLiteral(
    "ユーザー名またはパスワードが正しくありません。アカウントの設定を確認してください。");
const QString kCertificate = QStringLiteral("サーバーの証明書を確認できなかったため、接続を中止しました。");
const QString kDropped = QStringLiteral("通信の途中でサーバーが接続を切りました。");
const QString kNoStartTls = QStringLiteral("サーバーが STARTTLS に対応していないため、何も送らずに接続を終えました。"
                                           "接続の保護を「SSL/TLS」にする（ポート 465 や 995 など）か、"
                                           "サーバー名とポート番号を確認してください。");
const QString kNoTls = QStringLiteral("TLS で接続できませんでした。接続の保護とポート番号の組み合わせを確認してください"
                                      "（SSL/TLS はふつう 465 や 995、STARTTLS や自動は 587、25 や 110）。");

QString unreached(const QString &host, int port)
{
    return QStringLiteral("サーバー名（%1）またはポート番号（%2）が正しくないか、サーバーが応答していません。")
        .arg(host)
        .arg(port);
}

// What the transport says when one message to the server fails.
QString failureOf(const TransportSettings &s)
{
    const Envelope e{parseMailAddress(QStringLiteral("shop@example.jp")),
                     parseMailAddress(QStringLiteral("a@example.jp"))};
    return CurlTransport(s).send(e, "Subject: x\r\n\r\nx\r\n", nullptr).text;
}

} // namespace

class TestFailureHint : public QObject {
    Q_OBJECT
private slots:
    void hintSaysWhatTheFailureMeans_data();
    void hintSaysWhatTheFailureMeans();
};

void TestFailureHint::hintSaysWhatTheFailureMeans_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hint");

    // The transport's own texts, from real peers on loopback.
    TransportSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.timeoutSeconds = 10;
    s.smtpPort = unusedLoopbackPort();
    QTest::newRow("nothing listens on the port") << failureOf(s) << unreached(s.host, s.smtpPort);
    SmtpTestServer auth;
    QVERIFY2(auth.start(SmtpTestServer::Mode::Auth, QStringLiteral("shop"), QStringLiteral("secret")),
             qPrintable(auth.error()));
    s.smtpPort = auth.port();
    s.smtpAuth = true;
    s.user = QStringLiteral("shop");
    s.password = QStringLiteral("wrong");
    QTest::newRow("wrong password") << failureOf(s) << kLogin;
    SmtpTestServer tls;
    QVERIFY2(tls.start(SmtpTestServer::Mode::ImplicitTls), qPrintable(tls.error()));
    s.smtpPort = tls.port();
    s.smtpImplicitTls = true;
    s.smtpAuth = false;
    QTest::newRow("certificate nobody trusts") << failureOf(s) << kCertificate;
    SmtpTestServer plain;
    QVERIFY2(plain.start(), qPrintable(plain.error()));
    s.smtpPort = plain.port();
    QTest::newRow("SSL/TLS to a server in clear") << failureOf(s) << kNoTls;
    s.smtpImplicitTls = false;
    s.smtpStartTlsRequired = true;
    QTest::newRow("STARTTLS required, none offered") << failureOf(s) << kNoStartTls;

    // libcurl's other texts and the transport's, as they read.
    auto row = [](const char *name, const char *text, const QString &hint) {
        QTest::newRow(name) << QString::fromUtf8(text) << hint;
    };
    row("unknown server name",
        "Cant connect Server (smtp.example.invalid:587: Could not resolve host: smtp.example.invalid)",
        unreached(QStringLiteral("smtp.example.invalid"), 587));
    row("connection refused, slowly",
        "Cant connect Server (mail.example.jp:535: Failed to connect to mail.example.jp port 535 after 535 ms: "
        "Connection refused)",
        unreached(QStringLiteral("mail.example.jp"), 535));
    row("no greeting in time",
        "Cant connect Server (::1:25: Operation timed out after 6000 milliseconds with 0 "
        "bytes received)",
        unreached(QStringLiteral("::1"), 25));
    row("a reply too slow", "The server did not reply in time (mail.example.jp:25)",
        QStringLiteral("サーバー名またはポート番号が正しくないか、サーバーが応答していません。"));
    row("host name not in the certificate",
        "Cant connect Server (mail.example.jp:465: SSL: no alternative "
        "certificate subject name matches target host name 'mail.example.jp')",
        kCertificate);
    row("refused by the POP3 server", "POP3 login failed (-ERR [AUTH] Authentication failed.)", kLogin);
    row("connection lost", "Connection to the server was lost (mail.example.jp:25)", kDropped);
    row("password not sent in clear",
        "Cant connect Server (mail.example.jp:587: the server offers no TLS, and the account does not allow the "
        "password to be sent unencrypted)",
        QStringLiteral("サーバーが暗号化に対応していないため、パスワードを送りませんでした。"
                       "接続の保護とポート番号を確認するか、信頼できる社内のサーバーなら"
                       "［暗号化されていない接続でパスワードを送信する］をチェックしてください。"));
    row("reset while reading", "Cant connect Server (mail.example.jp:25: Recv failure: Connection reset by peer)",
        kDropped);
    // Texts that say enough, or where a guess would mislead.
    row("a recipient refused", "550 5.1.1 <a@example.jp>: Recipient address rejected", QString());
    row("no login method in common", "AUTH LOGIN failed (no login method in common; the server offers GSSAPI)",
        QString());
    row("login refused for now", "AUTH LOGIN failed (454 4.7.0 Temporary authentication failure)", QString());
}

void TestFailureHint::hintSaysWhatTheFailureMeans()
{
    QFETCH(QString, text);
    QFETCH(QString, hint);
    QCOMPARE(connectionFailureHint(text), hint);
}

QTEST_GUILESS_MAIN(TestFailureHint)
#include "tst_failurehint.moc"
