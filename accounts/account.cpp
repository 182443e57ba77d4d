#include "account.h"
#include "settingsstore.h"

#include <algorithm>

AccountRecord ActiveAccount;

const char kAuthPassword[] = "password";
const char kAuthOAuth2[] = "oauth2";

QString placeholderServer()
{
    return settingDefault(Setting::Server);
}
void LoadAccountProfile(SettingsStore &store, qint16 n)
{
    readAccountProfile(store, n, ActiveAccount);
}

void readAccountProfile(const SettingsStore &store, qint16 n, AccountRecord &a)
{
    if (n < 0 || n > 4)
        return;
    auto text = [&](Setting s) { return store.value(s, n); };
    auto flag = [&](Setting s, qint16 &field) {
        // A flag that is not a number leaves the field as it was.
        if (const auto v = store.int16Value(s, n))
            field = *v;
    };
    a.szServer = text(Setting::Server);
    a.szFrom = text(Setting::From);
    a.Signature = text(Setting::Signature);
    a.BodyHeader = text(Setting::BodyHeader);
    a.szFromName = text(Setting::FromName);
    flag(Setting::SmtpAuth, a.Check1V);
    flag(Setting::PopBeforeSmtp, a.Check2V);
    a.User = text(Setting::User);
    // The keyring's copy where there is one; older files hold it themselves.
    a.UserPass = store.secret(Setting::Password, n);
    a.szPort = text(Setting::Port);
    flag(Setting::ClearTextPassword, a.Check3V);
    bool ok = false;
    const int perMinute = text(Setting::MaxPerMinute).trimmed().toInt(&ok);
    a.MaxPerMinute = ok && perMinute > 0 ? perMinute : 0;
    // Files from before these keys read as automatic, with the ports used
    // then.
    if (const auto v = store.int16Value(Setting::SmtpSecurity, n))
        a.SmtpSecurity = connectionSecurity(*v);
    a.Pop3Port = text(Setting::Pop3Port);
    if (const auto v = store.int16Value(Setting::Pop3Security, n))
        a.Pop3Security = connectionSecurity(*v);
    a.CaFile = text(Setting::CaFile);
    a.PinnedKeys = text(Setting::PinnedKeys);
    const qint64 size = text(Setting::SmtpSizeLimit).trimmed().toLongLong(&ok);
    a.SmtpSizeLimit = ok && size > 0 ? size : 0;
    a.OAuth2 = text(Setting::AuthMethod).trimmed() == QLatin1String(kAuthOAuth2);
    a.OAuthProvider = text(Setting::OAuthProvider);
    a.OAuthClientId = text(Setting::OAuthClientId);
    a.OAuthClientSecret = store.secret(Setting::OAuthClientSecret, n);
    a.OAuthTenant = text(Setting::OAuthTenant);
    a.OAuthAuthUrl = text(Setting::OAuthAuthUrl);
    a.OAuthTokenUrl = text(Setting::OAuthTokenUrl);
    a.OAuthDeviceUrl = text(Setting::OAuthDeviceUrl);
    a.OAuthScope = text(Setting::OAuthScope);
    a.OAuthSignedIn = text(Setting::OAuthSignedIn);
    a.Charset = text(Setting::MailCharset).trimmed().compare(QLatin1String("iso-2022-jp"), Qt::CaseInsensitive) == 0
                    ? MailCharset::Iso2022Jp
                    : MailCharset::Utf8;
    const int window = text(Setting::SendWindow).trimmed().toInt(&ok);
    a.SendWindow = ok ? std::clamp(window, 1, kMaxSendWindow) : kDefaultSendWindow;
    const int connections = text(Setting::SmtpConnections).trimmed().toInt(&ok);
    a.SmtpConnections = ok ? std::clamp(connections, 1, kMaxSmtpConnections) : 1;
    a.Unsubscribe = text(Setting::Unsubscribe).trimmed() == QLatin1String("1");
    a.UnsubscribeAddress = text(Setting::UnsubscribeAddress);
    a.UnsubscribeUrl = text(Setting::UnsubscribeUrl);
    a.UnsubscribeFooter = text(Setting::UnsubscribeFooter);
    a.NotAdvertising = text(Setting::NotAdvertising).trimmed() == QLatin1String("1");
}

ConnectionSecurity connectionSecurity(qint16 stored)
{
    switch (stored) {
    case 1: return ConnectionSecurity::StartTls;
    case 2: return ConnectionSecurity::Tls;
    default: return ConnectionSecurity::Auto;
    }
}

int defaultPop3Port(ConnectionSecurity security)
{
    return security == ConnectionSecurity::Tls ? 995 : 110;
}

void LoadActiveAccount(SettingsStore &store)
{
    if (const auto n = store.int16Value(Setting::Account))
        ActiveAccount.Account = *n;
    LoadAccountProfile(store, ActiveAccount.Account);
}

void SaveActiveAccount(SettingsStore &store)
{
    const AccountRecord &a = ActiveAccount;
    store.setValue(Setting::Account, QString::number(a.Account));
    const int n = a.Account;
    if (n >= 0 && n <= 4) {
        // In the table's order: the ten every file has, then the newer ones.
        store.setValue(Setting::Server, a.szServer, n);
        store.setValue(Setting::From, a.szFrom, n);
        store.setValue(Setting::Signature, a.Signature, n);
        store.setValue(Setting::BodyHeader, a.BodyHeader, n);
        store.setValue(Setting::FromName, a.szFromName, n);
        store.setValue(Setting::SmtpAuth, QString::number(a.Check1V), n);
        store.setValue(Setting::PopBeforeSmtp, QString::number(a.Check2V), n);
        store.setValue(Setting::User, a.User, n);
        store.setSecret(Setting::Password, a.UserPass, n);
        store.setValue(Setting::Port, a.szPort, n);
        store.setValue(Setting::ClearTextPassword, QString::number(a.Check3V), n);
        store.setValue(Setting::MaxPerMinute, QString::number(a.MaxPerMinute), n);
        store.setValue(Setting::SmtpSecurity, QString::number(qint16(a.SmtpSecurity)), n);
        store.setValue(Setting::Pop3Port, a.Pop3Port, n);
        store.setValue(Setting::Pop3Security, QString::number(qint16(a.Pop3Security)), n);
        store.setValue(Setting::CaFile, a.CaFile, n);
        store.setValue(Setting::PinnedKeys, a.PinnedKeys, n);
        store.setValue(Setting::SmtpSizeLimit, QString::number(a.SmtpSizeLimit), n);
        store.setValue(Setting::AuthMethod, QLatin1String(a.OAuth2 ? kAuthOAuth2 : kAuthPassword), n);
        store.setValue(Setting::OAuthProvider, a.OAuthProvider, n);
        store.setValue(Setting::OAuthClientId, a.OAuthClientId, n);
        store.setSecret(Setting::OAuthClientSecret, a.OAuthClientSecret, n);
        store.setValue(Setting::OAuthTenant, a.OAuthTenant, n);
        store.setValue(Setting::OAuthAuthUrl, a.OAuthAuthUrl, n);
        store.setValue(Setting::OAuthTokenUrl, a.OAuthTokenUrl, n);
        store.setValue(Setting::OAuthDeviceUrl, a.OAuthDeviceUrl, n);
        store.setValue(Setting::OAuthScope, a.OAuthScope, n);
        store.setValue(Setting::MailCharset,
                       QLatin1String(a.Charset == MailCharset::Iso2022Jp ? "iso-2022-jp" : "utf-8"), n);
        store.setValue(Setting::SendWindow, QString::number(a.SendWindow), n);
        store.setValue(Setting::SmtpConnections, QString::number(a.SmtpConnections), n);
        store.setValue(Setting::Unsubscribe, QLatin1String(a.Unsubscribe ? "1" : "0"), n);
        store.setValue(Setting::UnsubscribeAddress, a.UnsubscribeAddress, n);
        store.setValue(Setting::UnsubscribeUrl, a.UnsubscribeUrl, n);
        store.setValue(Setting::UnsubscribeFooter, a.UnsubscribeFooter, n);
        store.setValue(Setting::NotAdvertising, QLatin1String(a.NotAdvertising ? "1" : "0"), n);
        // The signed-in address and the refresh token are the sign-in's to
        // write, when it happens.
    }
    store.sync();
}

void saveServerFacts(SettingsStore &store, const AccountRecord &a)
{
    const int n = a.Account;
    if (n < 0 || n > 4)
        return;
    store.setValue(Setting::Server, a.szServer, n);
    store.setValue(Setting::PinnedKeys, a.PinnedKeys, n);
    store.setValue(Setting::SmtpSizeLimit, QString::number(a.SmtpSizeLimit), n);
    store.sync();
}

bool accountNotConfigured(const AccountRecord &account)
{
    return account.szServer.left(4) == placeholderServer().left(4);
}

QString accountStatusLabel(qint16 account)
{
    switch (account) {
    case 0: return QStringLiteral("　アカウント(規定）　　");
    case 1: return QStringLiteral("　サブ　アカウント１　　");
    case 2: return QStringLiteral("　サブ　アカウント２　　");
    case 3: return QStringLiteral("　サブ　アカウント３　　");
    case 4: return QStringLiteral("　サブ　アカウント４　　");
    default: return QString();
    }
}

QString accountStatusLine(const AccountRecord &account)
{
    return accountStatusLabel(account.Account) + QStringLiteral("Server/") + account.szServer
           + QStringLiteral("  From Name/") + account.szFromName;
}
