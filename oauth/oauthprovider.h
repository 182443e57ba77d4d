#pragma once
// Where an account signs in: the presets of the providers Quillpost knows
// (their endpoints, the scopes mail needs, their servers) and the endpoints
// an administrator enters for any other.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

enum class OAuthProvider { Microsoft, Google, Other };

// As stored: "microsoft", "google", "other"; anything else reads as Microsoft.
OAuthProvider oauthProviderFromKey(const QString &key);
QString oauthProviderKey(OAuthProvider provider);
// As the dialog shows it: "Microsoft 365", "Google", "その他".
QString oauthProviderLabel(OAuthProvider provider);

// What one sign-in needs to know about the provider and the application's
// registration with it.
struct OAuthClientConfig {
    QString authUrl;   // authorisation endpoint
    QString tokenUrl;  // token endpoint
    QString deviceUrl; // device authorisation endpoint; "" where none is offered
    QString scope;     // blank-separated
    QString clientId;
    QString clientSecret; // "" for a public client
    QString extraCaFile;  // trusted beside the system's certificates
    // Further parameters of the authorisation request that the provider
    // needs before it issues a refresh token.
    QList<QPair<QString, QString>> authParams;
};

// The servers and ports a preset fills in.
struct OAuthServerPreset {
    QString smtpHost;
    int smtpPort = 587;
    QString pop3Host;
    int pop3Port = 995;
};

// A preset's endpoints and scope; for Microsoft with the tenant ("" reads as
// "organizations"). For Other, the given endpoints and scope as they are.
OAuthClientConfig oauthPreset(OAuthProvider provider, const QString &tenant = {});
OAuthServerPreset oauthServers(OAuthProvider provider);

// An endpoint a secret may travel to: https, or http to this machine.
bool oauthEndpointSafe(const QString &url);
