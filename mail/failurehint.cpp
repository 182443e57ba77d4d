#include "failurehint.h"

#include "oauthlogin.h"

#include <QRegularExpression>

namespace {

bool containsAny(const QString &text, std::initializer_list<const char *> parts)
{
    for (const char *part : parts)
        if (text.contains(QLatin1String(part), Qt::CaseInsensitive))
            return true;
    return false;
}

// A login the server refused for good: 535 is the reply to a wrong user
// name or password; a temporary refusal or no login method in common is
// not one.
bool loginRefused(const QString &text)
{
    static const QRegularExpression refused(QStringLiteral("AUTH LOGIN failed \\(5|(^|[(:] ?)535[ -]|"
                                                           "POP3 login failed \\(-ERR|Login denied"));
    return refused.match(text).hasMatch();
}

// The libcurl texts and our own for a server that was never reached or
// never answered.
bool notReached(const QString &text)
{
    return containsAny(text, {"resolve host", "Failed to connect", "connect to server", "Connection refused",
                              "No route to host", "Network is unreachable", "timed out", "Timeout was reached",
                              "server response timeout", "did not reply in time", "no answer to the login",
                              "invalid server name", "invalid port"});
}

bool droppedByServer(const QString &text)
{
    return containsAny(text, {"Connection to the server was lost", "Connection reset", "Connection died",
                              "Recv failure", "Send failure", "Broken pipe", "Failure when receiving data",
                              "Failed sending data", "Connection closed"});
}

} // namespace

QString connectionFailureHint(const QString &transportText)
{
    const QString &t = transportText;
    // First: an untrusted certificate also ends the connection.
    if (containsAny(t, {"certificate", "CA cert"}))
        return QStringLiteral("サーバーの証明書を確認できなかったため、接続を中止しました。");
    // Before the password's: an OAuth 2.0 login has no password to check.
    if (isOAuthLoginFailure(t))
        return QStringLiteral("サーバーがサインインのトークンを受け付けませんでした。もう一度サインインしてください。");
    // The account's 接続の保護 and what the server offers do not meet.
    if (containsAny(t, {"offers no STARTTLS", "offers no STLS"}))
        return QStringLiteral("サーバーが STARTTLS に対応していないため、何も送らずに接続を終えました。"
                              "接続の保護を「SSL/TLS」にする（ポート 465 や 995 など）か、"
                              "サーバー名とポート番号を確認してください。");
    if (containsAny(t, {"TLS handshake failed"}))
        return QStringLiteral("TLS で接続できませんでした。接続の保護とポート番号の組み合わせを確認してください"
                              "（SSL/TLS はふつう 465 や 995、STARTTLS や自動は 587、25 や 110）。");
    if (containsAny(t, {"offers no TLS, and the account does not allow"}))
        return QStringLiteral("サーバーが暗号化に対応していないため、パスワードを送りませんでした。"
                              "接続の保護とポート番号を確認するか、信頼できる社内のサーバーなら"
                              "［暗号化されていない接続でパスワードを送信する］をチェックしてください。");
    if (loginRefused(t))
        return QStringLiteral("ユーザー名またはパスワードが正しくありません。アカウントの設定を確認してください。");
    if (notReached(t)) {
        // "Cant connect Server (HOST:PORT: ...": the server and port tried.
        static const QRegularExpression tried(QStringLiteral("Cant connect Server \\((.+?):(\\d+): "));
        const QRegularExpressionMatch m = tried.match(t);
        if (!m.hasMatch())
            return QStringLiteral("サーバー名またはポート番号が正しくないか、サーバーが応答していません。");
        return QStringLiteral("サーバー名（%1）またはポート番号（%2）が正しくないか、サーバーが応答していません。")
            .arg(m.captured(1), m.captured(2));
    }
    if (droppedByServer(t))
        return QStringLiteral("通信の途中でサーバーが接続を切りました。");
    return {};
}
