#include "oauthservers.h"

#include "loopbacksignin.h"

#include <QDir>

namespace {

// Node and its packages may take a while to load on a busy machine.
constexpr int kStartMs = 60000;
constexpr int kBrowseMs = 60000;

QString supportFile(const char *name)
{
    return QStringLiteral(QUILLPOST_SOURCE_DIR "/tests/support/") + QLatin1String(name);
}

} // namespace

OAuthTestServer::~OAuthTestServer()
{
    if (!m_proc)
        return;
    m_proc->closeWriteChannel();
    if (!m_proc->waitForFinished(3000)) {
        m_proc->kill();
        m_proc->waitForFinished(3000);
    }
}

bool OAuthTestServer::start()
{
    m_proc = std::make_unique<QProcess>();
    m_proc->start(QStringLiteral("node"), {supportFile("oauthserver.mjs")});
    if (!m_proc->waitForStarted(5000) || !m_proc->waitForReadyRead(kStartMs)) {
        m_error = QStringLiteral("the OAuth server did not start (is tests/node_modules installed? npm ci in tests/): ")
                  + QString::fromUtf8(m_proc->readAllStandardError());
        return false;
    }
    m_port = m_proc->readLine().trimmed().toInt();
    if (m_port <= 0)
        m_error = QStringLiteral("the OAuth server gave no port: ") + QString::fromUtf8(m_proc->readAllStandardError());
    return m_port > 0;
}

void OAuthTestServer::startBrowsing(QProcess &browser, const QString &url, const QString &login,
                                    const QStringList &extra) const
{
    browser.start(QStringLiteral("/usr/bin/python3"),
                  QStringList{supportFile("oauthbrowser.py"), url, QStringLiteral("--login"), login} + extra);
}

QString OAuthTestServer::browse(const QString &url, const QString &login, const QStringList &extra) const
{
    QProcess browser;
    startBrowsing(browser, url, login, extra);
    browser.waitForFinished(kBrowseMs);
    return QString::fromUtf8(browser.readAllStandardOutput()) + QString::fromUtf8(browser.readAllStandardError());
}

bool OAuthTestServer::revoke(const QString &refreshToken, const QString &clientId) const
{
    QProcess curl;
    curl.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-c"),
                QStringLiteral("import sys, urllib.request, urllib.parse\n"
                               "body = urllib.parse.urlencode({'token': sys.argv[2], 'client_id': sys.argv[3], "
                               "'token_type_hint': 'refresh_token'}).encode()\n"
                               "urllib.request.urlopen(sys.argv[1], body, timeout=20)\n"),
                issuer() + QStringLiteral("/token/revocation"), refreshToken, clientId});
    return curl.waitForFinished(kBrowseMs) && curl.exitCode() == 0;
}

OAuthClientConfig OAuthTestServer::config(const QString &clientId) const
{
    OAuthClientConfig c;
    c.authUrl = authUrl();
    c.tokenUrl = tokenUrl();
    c.deviceUrl = deviceUrl();
    c.scope = scope();
    c.clientId = clientId;
    if (clientId == QLatin1String("quillpost-secret"))
        c.clientSecret = QStringLiteral("desktop-secret");
    c.authParams = {{QStringLiteral("prompt"), QStringLiteral("consent")}};
    return c;
}

SignInResult OAuthTestServer::signIn(const QString &login, const QString &clientId) const
{
    LoopbackSignIn signIn(config(clientId));
    QProcess browser;
    const SignInResult r = signIn.run(
        [&](const QUrl &url) { startBrowsing(browser, url.toString(QUrl::FullyEncoded), login); }, kBrowseMs);
    browser.waitForFinished(kBrowseMs);
    if (!r.ok())
        qWarning("the browser: %s%s", browser.readAllStandardOutput().left(2000).constData(),
                 browser.readAllStandardError().left(2000).constData());
    return r;
}
