// Sign-in and the login with its token, against the real authorisation
// server of the tests and the SMTP server that checks each token there.

#include "account.h"
#include "curltransport.h"
#include "failurehint.h"
#include "loopbacksignin.h"
#include "mailservers.h"
#include "oauthservers.h"
#include "settingsstore.h"
#include "signin.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <thread>

class SignInTest : public QObject {
    Q_OBJECT
    OAuthTestServer m_auth;

private slots:
    void initTestCase() { QVERIFY2(m_auth.start(), qPrintable(m_auth.error())); }

    void codeFlowWithPkceGivesTokensForTheAddress_data();
    void codeFlowWithPkceGivesTokensForTheAddress();
    void answerThatIsNotTheRequestsIsRefused_data();
    void answerThatIsNotTheRequestsIsRefused();
    void tokenReplyWithoutTokenIsAFailure_data();
    void tokenReplyWithoutTokenIsAFailure();
    void secretsTravelOnlyOverTls_data();
    void secretsTravelOnlyOverTls();
    void tokenLogsInOnTheWire_data();
    void tokenLogsInOnTheWire();
    void refreshReplacesTheKeptToken();
    void popBeforeSmtpLogsInWithTheToken_data();
    void popBeforeSmtpLogsInWithTheToken();
};

void SignInTest::codeFlowWithPkceGivesTokensForTheAddress_data()
{
    QTest::addColumn<QString>("clientId");
    QTest::newRow("public client") << QStringLiteral("quillpost");
    QTest::newRow("client with a secret") << QStringLiteral("quillpost-secret");
}

void SignInTest::codeFlowWithPkceGivesTokensForTheAddress()
{
    QFETCH(QString, clientId);
    const SignInResult r = m_auth.signIn(QStringLiteral("taro@example.jp"), clientId);
    QVERIFY2(r.ok(), qPrintable(r.message));
    QVERIFY(!r.tokens.accessToken.isEmpty());
    QVERIFY(!r.tokens.refreshToken.isEmpty());
    QCOMPARE(r.tokens.signedInAddress, QStringLiteral("taro@example.jp"));
}

// How a sign-in that never gets a proper answer ends.
void SignInTest::answerThatIsNotTheRequestsIsRefused_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("a redirect with another state")
        << "forged" << int(SignInResult::Status::WrongState) << QStringLiteral("偽の応答のおそれ");
    QTest::newRow("the user says no") << "abort" << int(SignInResult::Status::Denied)
                                      << QStringLiteral("サインインが拒否されました（access_denied）");
    QTest::newRow("the browser never comes back")
        << "silent" << int(SignInResult::Status::TimedOut) << QStringLiteral("以内に終わらなかった");
}

void SignInTest::answerThatIsNotTheRequestsIsRefused()
{
    QFETCH(QString, how);
    QFETCH(int, status);
    QFETCH(QString, says);
    LoopbackSignIn signIn(m_auth.config());
    QProcess browser;
    std::thread forger;
    const SignInResult r = signIn.run(
        [&](const QUrl &url) {
            if (how == QLatin1String("abort"))
                m_auth.startBrowsing(browser, url.toString(QUrl::FullyEncoded), QStringLiteral("user@example.jp"),
                                     {QStringLiteral("--abort")});
            if (how != QLatin1String("forged"))
                return;
            // What a page in another tab could send to the port.
            const QString redirect = QUrlQuery(url).queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded);
            forger = std::thread([redirect] {
                QTcpSocket s;
                s.connectToHost(QUrl(redirect).host(), quint16(QUrl(redirect).port()));
                if (s.waitForConnected(10000)) {
                    s.write("GET /?code=stolen&state=guessed HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
                    s.waitForBytesWritten(10000);
                    s.waitForDisconnected(10000);
                }
            });
        },
        how == QLatin1String("silent") ? 300 : LoopbackSignIn::kWaitMs);
    if (forger.joinable())
        forger.join();
    browser.waitForFinished(60000);
    QCOMPARE(int(r.status), status);
    QVERIFY2(r.message.contains(says), qPrintable(r.message));
    QVERIFY(r.tokens.accessToken.isEmpty());
}

void SignInTest::tokenReplyWithoutTokenIsAFailure_data()
{
    QTest::addColumn<int>("http");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("an HTML page") << 200 << QByteArray("<html><body>Sign in</body></html>")
                                  << int(TokenReply::Status::Failed) << QStringLiteral("JSON ではありません");
    QTest::newRow("a server error") << 500 << QByteArray("{}") << int(TokenReply::Status::Failed)
                                    << QStringLiteral("HTTP 500");
    QTest::newRow("JSON without access_token") << 200 << QByteArray(R"({"token_type":"Bearer","expires_in":3600})")
                                               << int(TokenReply::Status::Failed) << QStringLiteral("access_token");
    QTest::newRow("the provider's error")
        << 400 << QByteArray(R"({"error":"invalid_grant","error_description":"grant revoked"})")
        << int(TokenReply::Status::OAuthError) << QStringLiteral("grant revoked");
}

void SignInTest::tokenReplyWithoutTokenIsAFailure()
{
    QFETCH(int, http);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, says);
    const TokenReply r = TokenClient::parseTokenReply(http, body);
    QCOMPARE(int(r.status), status);
    QVERIFY2(r.message().contains(says), qPrintable(r.message()));
}

void SignInTest::secretsTravelOnlyOverTls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("safe");
    QTest::newRow("https") << "https://login.example.jp/token" << true;
    QTest::newRow("http on this machine") << "http://127.0.0.1:8080/token" << true;
    QTest::newRow("http on the network") << "http://login.example.jp/token" << false;
    QTest::newRow("http to a private address") << "http://10.1.2.3/token" << false;
    QTest::newRow("another scheme") << "ftp://login.example.jp/token" << false;
    QTest::newRow("no host") << "https:///token" << false;
}

void SignInTest::secretsTravelOnlyOverTls()
{
    // Codes, refresh tokens and client secrets never go in clear on the
    // network; the token client asks this before every request.
    QFETCH(QString, url);
    QFETCH(bool, safe);
    QCOMPARE(oauthEndpointSafe(url), safe);
}

void SignInTest::tokenLogsInOnTheWire_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("logins"); // mechanism:ok per attempt
    QTest::newRow("XOAUTH2") << "xoauth2" << true << QStringList{"XOAUTH2:1"};
    QTest::newRow("OAUTHBEARER where only it is offered") << "oauthbearer" << true << QStringList{"OAUTHBEARER:1"};
    QTest::newRow("a refused token renewed once")
        << "xoauth2,refuse-first" << true << QStringList{"XOAUTH2:0", "XOAUTH2:1"};
    QTest::newRow("a token for another address")
        << "xoauth2,other-user" << false << QStringList{"XOAUTH2:0", "XOAUTH2:0"};
}

void SignInTest::tokenLogsInOnTheWire()
{
    QFETCH(QString, options);
    QFETCH(bool, accepted);
    QFETCH(QStringList, logins);
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(SmtpTestServer::Mode::OAuth, m_auth.userinfoUrl(), options), qPrintable(smtp.error()));
    const SignInResult signIn = m_auth.signIn(QStringLiteral("hanako@example.jp"));
    QVERIFY2(signIn.ok(), qPrintable(signIn.message));

    TransportSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.smtpPort = smtp.port();
    s.smtpAuth = true;
    s.oauth = true;
    s.user = options.contains(QLatin1String("other-user")) ? QStringLiteral("jiro@example.jp")
                                                           : QStringLiteral("hanako@example.jp");
    s.accessToken = signIn.tokens.accessToken;
    int renewals = 0;
    const QString refreshToken = signIn.tokens.refreshToken;
    const OAuthClientConfig config = m_auth.config();
    s.renewToken = [&] {
        ++renewals;
        const TokenReply r = TokenClient(config).refresh(refreshToken);
        return AccessToken{r.tokens.accessToken, r.message(), false};
    };
    CurlTransport t(s);
    Envelope e{parseMailAddress(QStringLiteral("hanako@example.jp")),
               parseMailAddress(QStringLiteral("to@example.jp"))};
    const MessageResult r = t.send(e, "Subject: x\r\n\r\nbody\r\n", nullptr);
    t.end();

    QCOMPARE(r.accepted(), accepted);
    QStringList seen;
    for (const QJsonObject &a : smtp.authAttempts())
        seen << a.value(QStringLiteral("mechanism")).toString() + QStringLiteral(":")
                    + (a.value(QStringLiteral("ok")).toBool() ? QStringLiteral("1") : QStringLiteral("0"));
    QCOMPARE(seen, logins);
    QCOMPARE(renewals, logins.size() - 1);
    if (!accepted) {
        // The engine's contract, and what to do in Japanese.
        QVERIFY2(r.text.contains(QLatin1String("AUTH LOGIN")), qPrintable(r.text));
        QVERIFY2(!r.text.contains(s.accessToken), "the token is never in the failure text");
        QCOMPARE(connectionFailureHint(r.text),
                 QStringLiteral(
                     "サーバーがサインインのトークンを受け付けませんでした。もう一度サインインしてください。"));
    }
    QCOMPARE(smtp.messageCount(), accepted ? 1 : 0);
}

void SignInTest::refreshReplacesTheKeptToken()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Quillpost.ini"));
    const SignInResult signIn = m_auth.signIn();
    QVERIFY2(signIn.ok(), qPrintable(signIn.message));
    AccountRecord a;
    a.Account = 2;
    a.OAuth2 = true;
    a.OAuthProvider = QStringLiteral("other");
    a.OAuthAuthUrl = m_auth.authUrl();
    a.OAuthTokenUrl = m_auth.tokenUrl();
    a.OAuthScope = OAuthTestServer::scope();
    a.OAuthClientId = QStringLiteral("quillpost");
    {
        SettingsStore store(ini);
        QString error;
        QVERIFY2(keepSignIn(store, 2, signIn.tokens, &error), qPrintable(error));
    }
    const AccessToken first = freshAccessToken(a, ini, {});
    QVERIFY2(first.ok(), qPrintable(first.failure));
    const QString kept = SettingsStore(ini).secret(Setting::OAuthRefreshToken, 2);
    QVERIFY(kept != signIn.tokens.refreshToken); // the server replaced it
    const AccessToken second = freshAccessToken(a, ini, {});
    QVERIFY2(second.ok(), qPrintable(second.failure));

    // Revoked at the provider: the sign-in is gone.
    QVERIFY(m_auth.revoke(SettingsStore(ini).secret(Setting::OAuthRefreshToken, 2)));
    const AccessToken gone = freshAccessToken(a, ini, {});
    QVERIFY(!gone.ok());
    QVERIFY(gone.signInExpired);
    QVERIFY2(gone.failure.contains(QLatin1String("invalid_grant")), qPrintable(gone.failure));
}

void SignInTest::popBeforeSmtpLogsInWithTheToken_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("loggedIn");
    QTest::newRow("the token's own address") << "pop@example.jp" << true;
    QTest::newRow("another address") << "other@example.jp" << false;
}

void SignInTest::popBeforeSmtpLogsInWithTheToken()
{
    QFETCH(QString, user);
    QFETCH(bool, loggedIn);
    Pop3TestServer pop;
    pop.setOAuth(m_auth.userinfoUrl());
    QVERIFY2(pop.start({}, {}), qPrintable(pop.error()));
    const SignInResult signIn = m_auth.signIn(QStringLiteral("pop@example.jp"));
    QVERIFY2(signIn.ok(), qPrintable(signIn.message));
    TransportSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.pop3Port = pop.port();
    s.oauth = true;
    s.user = user;
    s.accessToken = signIn.tokens.accessToken;
    CurlTransport t(s);
    const QVariant r = t.checkPop();
    QCOMPARE(r.typeId() == QMetaType::QVariantList, loggedIn);
    if (!loggedIn)
        QVERIFY2(r.toString().startsWith(QLatin1String("POP3 login failed (XOAUTH2:")), qPrintable(r.toString()));
}

QTEST_GUILESS_MAIN(SignInTest)
#include "tst_signin.moc"
