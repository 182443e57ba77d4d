#pragma once
// An account's OAuth 2.0 sign-in: its client configuration, the refresh
// token kept after a sign-in, and a fresh access token for each run. Every
// Quillpost process that refreshes the token of one account takes turns, so
// a provider that replaces the refresh token on each use never sees the old
// one twice (which it would take for a stolen token).

#include "oauthprovider.h"
#include "settingsstore.h"
#include "tokenclient.h"

#include <QString>

struct AccountRecord;

// A fresh access token, or why there is none.
struct AccessToken {
    QString token;
    QString failure; // for the user, in Japanese, with the provider's words
    // The sign-in is gone (expired, revoked, never made): sign in again.
    bool signInExpired = false;
    bool ok() const { return !token.isEmpty(); }
};

OAuthProvider accountProvider(const AccountRecord &account);
// The endpoints and scope of the account's provider (the preset, or what
// was entered for その他), its client, and the CA file to trust.
OAuthClientConfig accountOAuthConfig(const AccountRecord &account, const QString &extraCaFile = {});

// After a sign-in: keeps the refresh token (in the keyring where one
// answers) and the signed-in address. False, with why, when the provider
// gave no refresh token to keep.
bool keepSignIn(SettingsStore &store, int profile, const OAuthTokens &tokens, QString *error,
                SettingsStore::SecretPlace *place = nullptr);
// Whether a refresh token is kept for the profile.
bool hasSignIn(const SettingsStore &store, int profile);

// A fresh access token for the account: the kept refresh token redeemed at
// the token endpoint, a new refresh token kept in its place. settingsFile is
// the file the account is kept in ("": the user's own). Blocking.
AccessToken freshAccessToken(const AccountRecord &account, const QString &settingsFile, const QString &extraCaFile);

// What the command says when the sign-in is gone.
QString signInExpiredCommandText(int profile);
