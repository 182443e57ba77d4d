#include "loopbacksignin.h"

#include "pkce.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <memory>

namespace {

constexpr qsizetype kMaxRequest = 16 * 1024;
constexpr int kRequestMs = 10 * 1000;
// How often the wait looks whether it was cancelled.
constexpr int kCancelCheckMs = 200;

QByteArray page(const QString &title, const QString &text)
{
    const QString html = QStringLiteral(
                             "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><title>%1</title></head>"
                             "<body style=\"font-family: sans-serif; margin: 3em;\"><h1>%1</h1><p>%2</p></body></html>")
                             .arg(title.toHtmlEscaped(), text.toHtmlEscaped());
    return html.toUtf8();
}

void answer(QTcpSocket &socket, int status, const QByteArray &body)
{
    const QByteArray reason = status == 200 ? "OK" : status == 400 ? "Bad Request" : "Not Found";
    socket.write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
                 + "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\nConnection: "
                   "close\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket.flush();
    socket.waitForBytesWritten(kRequestMs);
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(1000);
}

// The target of a request's first line ("GET /?code=... HTTP/1.1"), or
// empty when the request is not a whole GET head within the limits.
QByteArray requestTarget(QTcpSocket &socket)
{
    QByteArray head;
    QDeadlineTimer deadline(kRequestMs);
    while (!head.contains("\r\n\r\n")) {
        if (head.size() > kMaxRequest || deadline.hasExpired())
            return {};
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            return {};
        head += socket.read(kMaxRequest + 1 - head.size());
    }
    const QList<QByteArray> first = head.left(head.indexOf("\r\n")).split(' ');
    if (first.size() != 3 || first[0] != "GET" || !first[2].startsWith("HTTP/1."))
        return {};
    return first[1];
}

SignInResult result(SignInResult::Status status, const QString &message)
{
    SignInResult r;
    r.status = status;
    r.message = message;
    return r;
}

} // namespace

LoopbackSignIn::LoopbackSignIn(OAuthClientConfig config) : m_config(config), m_tokens(std::move(config)) {}
LoopbackSignIn::~LoopbackSignIn() = default;

void LoopbackSignIn::cancel()
{
    m_cancelled = true;
    m_tokens.abort();
}

QUrl LoopbackSignIn::authorizationUrl(const OAuthClientConfig &config, const QString &redirectUri,
                                      const QByteArray &state, const QByteArray &challenge)
{
    QUrl url(config.authUrl.trimmed());
    QUrlQuery q(url);
    q.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    q.addQueryItem(QStringLiteral("client_id"), config.clientId);
    q.addQueryItem(QStringLiteral("redirect_uri"), redirectUri);
    q.addQueryItem(QStringLiteral("scope"), config.scope);
    q.addQueryItem(QStringLiteral("state"), QString::fromLatin1(state));
    q.addQueryItem(QStringLiteral("code_challenge"), QString::fromLatin1(challenge));
    q.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    for (const auto &[key, value] : config.authParams)
        q.addQueryItem(key, value);
    url.setQuery(q);
    return url;
}

SignInResult LoopbackSignIn::run(const std::function<void(const QUrl &)> &openBrowser, int waitMs)
{
    using S = SignInResult::Status;
    if (!oauthEndpointSafe(m_config.authUrl) || !oauthEndpointSafe(m_config.tokenUrl))
        return result(S::Failed,
                      QStringLiteral(
                          "認証エンドポイントとトークンエンドポイントには https の URL を指定してください。"));
    if (m_config.clientId.trimmed().isEmpty())
        return result(S::Failed, QStringLiteral("クライアント ID が設定されていません。"));
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return result(S::Failed, QStringLiteral("サインインの受け口を開けません（%1）。").arg(server.errorString()));
    const QString redirectUri = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());
    const QByteArray verifier = pkce::makeVerifier();
    const QByteArray state = pkce::makeState();
    openBrowser(authorizationUrl(m_config, redirectUri, state, pkce::challengeOf(verifier)));

    QDeadlineTimer deadline(waitMs);
    while (true) {
        if (m_cancelled)
            return result(S::Cancelled, QStringLiteral("サインインを中止しました。"));
        if (deadline.hasExpired())
            return result(S::TimedOut,
                          QStringLiteral(
                              "ブラウザーでのサインインが %1 分以内に終わらなかったため、待つのをやめました。"
                              "もう一度サインインしてください。")
                              .arg(waitMs / 60000 > 0 ? waitMs / 60000 : 1));
        if (!server.waitForNewConnection(int(std::min<qint64>(kCancelCheckMs, deadline.remainingTime()))))
            continue;
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        if (!socket)
            continue;
        const QByteArray target = requestTarget(*socket);
        const QUrlQuery q(QUrl::fromEncoded(target).query(QUrl::FullyEncoded));
        const bool isAnswer = q.hasQueryItem(QStringLiteral("state")) || q.hasQueryItem(QStringLiteral("code"))
                              || q.hasQueryItem(QStringLiteral("error"));
        if (!isAnswer) {
            // A browser's side request (an icon, a preconnect): not the answer.
            answer(*socket, 404, page(QStringLiteral("Quillpost"), QStringLiteral("ページが見つかりません。")));
            continue;
        }
        auto value = [&q](const char *key) { return q.queryItemValue(QLatin1String(key), QUrl::FullyDecoded); };
        if (value("state") != QString::fromLatin1(state)) {
            answer(*socket, 400,
                   page(QStringLiteral("サインインを受け付けませんでした"),
                        QStringLiteral("この応答は Quillpost が送った要求に対するものではありません。")));
            return result(S::WrongState,
                          QStringLiteral("サインインの応答が、Quillpost の送った要求と一致しませんでした（state "
                                         "が違います）。偽の応答のおそれがあるため、受け付けませんでした。"));
        }
        const QString error = value("error");
        if (!error.isEmpty()) {
            answer(*socket, 200,
                   page(QStringLiteral("サインインできませんでした"), QStringLiteral("Quillpost に戻ってください。")));
            QString description = value("error_description").simplified();
            if (error == QLatin1String("access_denied"))
                return result(S::Denied,
                              QStringLiteral(
                                  "サインインが拒否されました（access_denied）。メール送信の許可が必要です。")
                                  + (description.isEmpty() ? QString() : QStringLiteral("\n") + description));
            return result(S::Failed, QStringLiteral("プロバイダーがサインインを受け付けませんでした（%1）").arg(error)
                                         + (description.isEmpty() ? QString() : QStringLiteral("：") + description));
        }
        answer(*socket, 200,
               page(QStringLiteral("サインインしました"),
                    QStringLiteral("このページを閉じて、Quillpost に戻ってください。")));
        const TokenReply reply = m_tokens.exchangeCode(value("code"), verifier, redirectUri);
        if (m_cancelled)
            return result(S::Cancelled, QStringLiteral("サインインを中止しました。"));
        if (!reply.ok())
            return result(S::Failed, reply.message());
        SignInResult r;
        r.status = S::Ok;
        r.tokens = reply.tokens;
        return r;
    }
}
