#include "accountcheck.h"

#include "account.h"
#include "cafile.h"
#include "oauthprovider.h"
#include "settingkeys.h"
#include "textcodec.h"

#include <algorithm>

namespace {

AccountFault fault(AccountField field, const QString &message)
{
    return {field, message};
}

// The port a text names: decimal digits only, 1 to 65535; 0 for anything else.
int portNumber(const QString &text)
{
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= 1 && n <= 65535 ? n : 0;
}

} // namespace

AccountFault checkAccountEntry(AccountEntry &entry, AccountSaveButton button)
{
    // The placeholders of a never-saved account (the settings' defaults) are
    // not real values: a field that begins like one is cleared.
    auto clearPlaceholder = [](QString &field, Setting setting, qsizetype prefix) {
        if (field.left(prefix) == settingDefault(setting).left(prefix))
            field.clear();
    };
    clearPlaceholder(entry.server, Setting::Server, 4);     // "****"
    clearPlaceholder(entry.fromName, Setting::FromName, 6); // "Myname"
    clearPlaceholder(entry.from, Setting::From, 6);         // "myname"
    clearPlaceholder(entry.user, Setting::User, 6);         // "myname"

    // These four are saved trimmed, so a field of blanks is as good as empty.
    if (trimBlanks(entry.server).isEmpty())
        return fault(AccountField::Server, QStringLiteral("送信メールサーバー（SMTP）が設定されていません。"));
    if (trimBlanks(entry.fromName).isEmpty())
        return fault(AccountField::FromName, QStringLiteral("送信者名が設定されていません。"));
    if (trimBlanks(entry.from).isEmpty())
        return fault(AccountField::From, QStringLiteral("送信元　メールアドレスが設定されていません。"));

    entry.from = narrowLower(entry.from);
    if (!entry.from.contains(QLatin1Char('@')))
        return fault(AccountField::From, QStringLiteral("送信元　メールアドレスが不正です。"));

    const bool needsLogin = entry.smtpAuth || entry.popBeforeSmtp;
    // With OAuth 2.0 the sign-in names the account and stands for the password.
    if (needsLogin && !entry.oauth && trimBlanks(entry.user).isEmpty())
        return fault(AccountField::User, QStringLiteral("アカウントが設定されていません。"));
    if (needsLogin && !entry.oauth && entry.password.isEmpty())
        return fault(AccountField::Password, QStringLiteral("パスワードが設定されていません。"));
    if (entry.oauth) {
        if (entry.oauthClientId.trimmed().isEmpty())
            return fault(AccountField::OAuthClient, QStringLiteral("クライアント ID が設定されていません。"));
        if (oauthProviderFromKey(entry.oauthProvider) == OAuthProvider::Other
            && (!oauthEndpointSafe(entry.oauthAuthUrl) || !oauthEndpointSafe(entry.oauthTokenUrl)
                || (!entry.oauthDeviceUrl.trimmed().isEmpty() && !oauthEndpointSafe(entry.oauthDeviceUrl))))
            return fault(AccountField::OAuthEndpoints,
                         QStringLiteral(
                             "認証エンドポイントとトークンエンドポイントには https の URL を指定してください。"));
    }

    // Digits typed with the input method and blanks around them are what
    // the user meant; the port is kept as the plain number.
    const QString port = trimBlanks(narrowWidth(entry.port));
    if (port.isEmpty())
        return fault(AccountField::Port,
                     button == AccountSaveButton::Ok
                         ? QStringLiteral("送信メールサーバー（SMTP）ポート番号が設定されていません。")
                         : QStringLiteral("（SMTP）ポート番号が設定されていません。"));
    const int number = portNumber(port);
    if (number == 0)
        return fault(AccountField::Port, QStringLiteral("ポート番号は 1 から 65535 までの数字で入力してください。"));
    entry.port = QString::number(number);

    const QString pop3Port = trimBlanks(narrowWidth(entry.pop3Port));
    const int pop3Number = pop3Port.isEmpty() ? defaultPop3Port(entry.pop3Security) : portNumber(pop3Port);
    if (pop3Number == 0)
        return fault(AccountField::Pop3Port,
                     QStringLiteral("POP3 のポート番号は 1 から 65535 までの数字で入力してください。"));
    entry.pop3Port = QString::number(pop3Number);

    entry.caFile = trimBlanks(entry.caFile);
    if (!entry.caFile.isEmpty()) {
        const QString problem = caFileProblem(entry.caFile);
        if (!problem.isEmpty())
            return fault(AccountField::CaFile, problem);
    }
    return {};
}

void storeAccountEntry(const AccountEntry &entry, AccountRecord &account)
{
    account.szServer = trimBlanks(entry.server);
    account.szFrom = trimBlanks(entry.from);
    account.szFromName = trimBlanks(entry.fromName);
    account.User = trimBlanks(entry.user);
    account.Signature = toCrLf(entry.signature);
    account.BodyHeader = toCrLf(entry.bodyHeader);
    account.UserPass = entry.password;
    account.szPort = entry.port;
    account.Check1V = entry.smtpAuth ? 1 : 0;
    account.Check2V = entry.popBeforeSmtp ? 1 : 0;
    account.Check3V = entry.plainPassword ? 1 : 0;
    account.MaxPerMinute = entry.maxPerMinute;
    account.SmtpSecurity = entry.smtpSecurity;
    account.Pop3Port = entry.pop3Port;
    account.Pop3Security = entry.pop3Security;
    account.CaFile = entry.caFile;
    account.PinnedKeys = entry.pinnedKeys;
    account.SmtpSizeLimit = entry.smtpSizeLimit;
    account.OAuth2 = entry.oauth;
    account.OAuthProvider = entry.oauthProvider;
    account.OAuthClientId = entry.oauthClientId.trimmed();
    account.OAuthClientSecret = entry.oauthClientSecret.trimmed();
    account.OAuthTenant = entry.oauthTenant.trimmed();
    account.OAuthAuthUrl = entry.oauthAuthUrl.trimmed();
    account.OAuthTokenUrl = entry.oauthTokenUrl.trimmed();
    account.OAuthDeviceUrl = entry.oauthDeviceUrl.trimmed();
    account.OAuthScope = entry.oauthScope.simplified();
    account.Charset = entry.charset;
    account.SendWindow = std::clamp(entry.sendWindow, 1, kMaxSendWindow);
    account.SmtpConnections = std::clamp(entry.smtpConnections, 1, kMaxSmtpConnections);
    account.Unsubscribe = entry.unsubscribe;
    account.UnsubscribeAddress = trimBlanks(entry.unsubscribeAddress);
    account.UnsubscribeUrl = trimBlanks(entry.unsubscribeUrl);
    account.UnsubscribeFooter = toCrLf(entry.unsubscribeFooter);
    account.NotAdvertising = entry.notAdvertising;
}
