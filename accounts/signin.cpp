#include "signin.h"

#include "account.h"

#include <QFileInfo>
#include <QLockFile>
#include <memory>

namespace {

// How long a refresh waits for another process's refresh of the same
// account; one takes a round trip or two.
constexpr int kTurnMs = 3 * 60 * 1000;

QString lockPath(const QString &settingsFile, int profile)
{
    const QFileInfo f(settingsFile);
    return f.absolutePath() + QStringLiteral("/%1.signin%2.lock").arg(f.completeBaseName()).arg(profile);
}

} // namespace

OAuthProvider accountProvider(const AccountRecord &account)
{
    return oauthProviderFromKey(account.OAuthProvider);
}

OAuthClientConfig accountOAuthConfig(const AccountRecord &a, const QString &extraCaFile)
{
    const OAuthProvider provider = accountProvider(a);
    OAuthClientConfig c = oauthPreset(provider, a.OAuthTenant);
    if (provider == OAuthProvider::Other) {
        c.authUrl = a.OAuthAuthUrl.trimmed();
        c.tokenUrl = a.OAuthTokenUrl.trimmed();
        c.deviceUrl = a.OAuthDeviceUrl.trimmed();
        c.scope = a.OAuthScope.simplified();
    }
    c.clientId = a.OAuthClientId.trimmed();
    c.clientSecret = a.OAuthClientSecret.trimmed();
    c.extraCaFile = extraCaFile;
    return c;
}

bool keepSignIn(SettingsStore &store, int profile, const OAuthTokens &tokens, QString *error,
                SettingsStore::SecretPlace *place)
{
    if (tokens.refreshToken.isEmpty()) {
        *error = QStringLiteral("プロバイダーがリフレッシュトークンを発行しませんでした。スコープに offline_access "
                                "が含まれているか、アプリケーションの登録を確認してください。");
        return false;
    }
    const SettingsStore::SecretPlace where = store.setSecret(Setting::OAuthRefreshToken, tokens.refreshToken, profile);
    if (place)
        *place = where;
    store.setValue(Setting::OAuthSignedIn, tokens.signedInAddress, profile);
    store.sync();
    return true;
}

bool hasSignIn(const SettingsStore &store, int profile)
{
    return !store.secret(Setting::OAuthRefreshToken, profile).isEmpty();
}

AccessToken freshAccessToken(const AccountRecord &account, const QString &settingsFile, const QString &extraCaFile)
{
    AccessToken t;
    const int n = account.Account;
    std::unique_ptr<SettingsStore> store = settingsFile.isEmpty() ? std::make_unique<SettingsStore>()
                                                                  : std::make_unique<SettingsStore>(settingsFile);
    // One refresh at a time per account, across processes; a process that
    // died holding the lock leaves it to the next.
    QLockFile turn(lockPath(store->fileName(), n));
    turn.setStaleLockTime(0);
    if (!turn.tryLock(kTurnMs)) {
        t.failure = QStringLiteral("ほかの Quillpost がサインイン情報を更新しているため、待ちきれませんでした。");
        return t;
    }
    // What the process before us kept.
    store->reload();
    const QString refreshToken = store->secret(Setting::OAuthRefreshToken, n);
    if (refreshToken.isEmpty()) {
        t.signInExpired = true;
        t.failure = QStringLiteral("サインインしていません。");
        return t;
    }
    TokenClient client(accountOAuthConfig(account, extraCaFile));
    const TokenReply reply = client.refresh(refreshToken);
    if (!reply.ok()) {
        t.signInExpired = reply.signInExpired();
        t.failure = reply.message();
        return t;
    }
    if (!reply.tokens.refreshToken.isEmpty() && reply.tokens.refreshToken != refreshToken) {
        store->setSecret(Setting::OAuthRefreshToken, reply.tokens.refreshToken, n);
        store->sync();
    }
    t.token = reply.tokens.accessToken;
    return t;
}

QString signInExpiredCommandText(int profile)
{
    return QStringLiteral(
               "サインインの有効期限が切れました。quillpost login --account %1 で再度サインインしてください。")
        .arg(profile);
}
