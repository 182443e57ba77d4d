#pragma once
// The OAuth 2.0 authorisation server of the tests (oidc-provider under
// Node, tests/support/oauthserver.mjs) on a free loopback port, and the
// test's browser (oauthbrowser.py) that fills its sign-in pages.
//
//     OAuthTestServer auth;
//     QVERIFY2(auth.start(), qPrintable(auth.error()));
//     config.authUrl = auth.authUrl(); ...
//     auth.browse(url, "user@example.jp");   // signs in as that address

#include "oauthprovider.h"
#include "tokenclient.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

class OAuthTestServer {
public:
    ~OAuthTestServer();
    bool start();
    QString error() const { return m_error; }

    QString issuer() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString authUrl() const { return issuer() + QStringLiteral("/auth"); }
    QString tokenUrl() const { return issuer() + QStringLiteral("/token"); }
    QString deviceUrl() const { return issuer() + QStringLiteral("/device/auth"); }
    QString userinfoUrl() const { return issuer() + QStringLiteral("/me"); }
    static QString scope() { return QStringLiteral("openid email offline_access"); }

    // Opens url in the test's browser and signs in as login (consent
    // given), following every redirect. Returns the last URL and page.
    QString browse(const QString &url, const QString &login = QStringLiteral("user@example.jp"),
                   const QStringList &extra = {}) const;
    // The same, started and left to run (the caller waits for its end).
    void startBrowsing(QProcess &browser, const QString &url, const QString &login = QStringLiteral("user@example.jp"),
                       const QStringList &extra = {}) const;
    // Revokes a refresh token (and so the grant) at the server.
    bool revoke(const QString &refreshToken, const QString &clientId = QStringLiteral("quillpost")) const;

    // The client configuration of a desktop program registered there.
    OAuthClientConfig config(const QString &clientId = QStringLiteral("quillpost")) const;
    // A whole sign-in (code flow with PKCE, the browser driven here) as
    // login; the result says how it ended.
    SignInResult signIn(const QString &login = QStringLiteral("user@example.jp"),
                        const QString &clientId = QStringLiteral("quillpost")) const;

private:
    std::unique_ptr<QProcess> m_proc;
    int m_port = 0;
    QString m_error;
};
