#include "oauthprovider.h"

#include <QHostAddress>
#include <QUrl>

OAuthProvider oauthProviderFromKey(const QString &key)
{
    if (key == QLatin1String("google"))
        return OAuthProvider::Google;
    if (key == QLatin1String("other"))
        return OAuthProvider::Other;
    return OAuthProvider::Microsoft;
}

QString oauthProviderKey(OAuthProvider provider)
{
    switch (provider) {
    case OAuthProvider::Google: return QStringLiteral("google");
    case OAuthProvider::Other: return QStringLiteral("other");
    case OAuthProvider::Microsoft: break;
    }
    return QStringLiteral("microsoft");
}

QString oauthProviderLabel(OAuthProvider provider)
{
    switch (provider) {
    case OAuthProvider::Google: return QStringLiteral("Google");
    case OAuthProvider::Other: return QStringLiteral("その他");
    case OAuthProvider::Microsoft: break;
    }
    return QStringLiteral("Microsoft 365");
}

OAuthClientConfig oauthPreset(OAuthProvider provider, const QString &tenant)
{
    OAuthClientConfig c;
    switch (provider) {
    case OAuthProvider::Microsoft: {
        // The identity platform's v2.0 endpoints; "organizations" takes any
        // work or school account.
        const QString t = tenant.trimmed().isEmpty() ? QStringLiteral("organizations") : tenant.trimmed();
        const QString base = QStringLiteral("https://login.microsoftonline.com/")
                             + QString::fromLatin1(QUrl::toPercentEncoding(t)) + QStringLiteral("/oauth2/v2.0/");
        c.authUrl = base + QStringLiteral("authorize");
        c.tokenUrl = base + QStringLiteral("token");
        c.deviceUrl = base + QStringLiteral("devicecode");
        // openid and email name the signed-in address in the ID token.
        c.scope = QStringLiteral("https://outlook.office.com/SMTP.Send https://outlook.office.com/POP.AccessAsUser.All "
                                 "offline_access openid email");
        break;
    }
    case OAuthProvider::Google:
        // Google's device grant does not allow the mail scope: no device URL.
        c.authUrl = QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth");
        c.tokenUrl = QStringLiteral("https://oauth2.googleapis.com/token");
        c.scope = QStringLiteral("https://mail.google.com/ openid email");
        // Google issues a refresh token for access_type=offline, and again
        // on a later sign-in only after consent.
        c.authParams = {{QStringLiteral("access_type"), QStringLiteral("offline")},
                        {QStringLiteral("prompt"), QStringLiteral("consent")}};
        break;
    case OAuthProvider::Other:
        // OpenID Connect grants offline_access only with consent asked.
        c.authParams = {{QStringLiteral("prompt"), QStringLiteral("consent")}};
        break;
    }
    return c;
}

OAuthServerPreset oauthServers(OAuthProvider provider)
{
    switch (provider) {
    case OAuthProvider::Microsoft:
        return {QStringLiteral("smtp.office365.com"), 587, QStringLiteral("outlook.office365.com"), 995};
    case OAuthProvider::Google: return {QStringLiteral("smtp.gmail.com"), 587, QStringLiteral("pop.gmail.com"), 995};
    case OAuthProvider::Other: break;
    }
    return {};
}

bool oauthEndpointSafe(const QString &url)
{
    const QUrl u(url.trimmed(), QUrl::StrictMode);
    if (!u.isValid() || u.host().isEmpty())
        return false;
    if (u.scheme() == QLatin1String("https"))
        return true;
    if (u.scheme() != QLatin1String("http"))
        return false;
    if (u.host() == QLatin1String("localhost"))
        return true;
    const QHostAddress a(u.host());
    return !a.isNull() && a.isLoopback();
}
