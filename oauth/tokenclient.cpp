#include "tokenclient.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <curl/curl.h>
#include <mutex>

namespace {

constexpr qsizetype kMaxReply = 1024 * 1024;
constexpr long kConnectSeconds = 30;
constexpr long kRequestSeconds = 60;

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    QByteArray body;
    bool overflow = false;
    const std::atomic<bool> *aborted = nullptr;
};

size_t writeCallback(char *data, size_t size, size_t count, void *userp)
{
    auto *t = static_cast<Transfer *>(userp);
    const size_t n = size * count;
    if (t->body.size() + static_cast<qsizetype>(n) > kMaxReply) {
        t->overflow = true;
        return 0;
    }
    t->body.append(data, static_cast<qsizetype>(n));
    return n;
}

int progressCallback(void *userp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *t = static_cast<Transfer *>(userp);
    return t->aborted && t->aborted->load() ? 1 : 0;
}

// The system's certificates and the extra file, as one bundle.
bool caBundle(const QString &extraFile, QByteArray *blob, QString *error)
{
    QFile extra(extraFile);
    if (!extra.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("証明書ファイルを読めません: ") + extraFile;
        return false;
    }
    const curl_version_info_data *info = curl_version_info(CURLVERSION_NOW);
    if (info && info->cainfo) {
        QFile system(QString::fromLocal8Bit(info->cainfo));
        if (system.open(QIODevice::ReadOnly))
            *blob = system.readAll() + '\n';
    }
    *blob += extra.readAll();
    return true;
}

TokenReply failed(const QString &why)
{
    TokenReply r;
    r.status = TokenReply::Status::Failed;
    r.description = why;
    return r;
}

QString jsonText(const QJsonObject &o, const char *key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(v.toInteger());
    return {};
}

// A short, printable piece of what a server said, never a token.
QString excerpt(const QByteArray &body)
{
    QString t = QString::fromUtf8(body.left(120)).simplified();
    for (QChar &c : t)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return t;
}

} // namespace

bool TokenReply::signInExpired() const
{
    // RFC 6749 5.2: the grant (the refresh token) is invalid, expired or
    // revoked; RFC 8628: the device code expired or the user said no.
    return status == Status::OAuthError
           && (error == QLatin1String("invalid_grant") || error == QLatin1String("expired_token")
               || error == QLatin1String("access_denied"));
}

QString TokenReply::message() const
{
    switch (status) {
    case Status::Ok: return {};
    case Status::OAuthError: {
        QString text = QStringLiteral("プロバイダーがサインインを受け付けませんでした（%1）").arg(error);
        if (!description.isEmpty())
            text += QStringLiteral("：") + description;
        return text;
    }
    case Status::Failed: break;
    }
    return QStringLiteral("トークンを取得できませんでした：") + description;
}

TokenClient::TokenClient(OAuthClientConfig config) : m_config(std::move(config)) {}
TokenClient::~TokenClient() = default;

void TokenClient::abort()
{
    m_aborted = true;
}

TokenReply TokenClient::parseTokenReply(long httpStatus, const QByteArray &body)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return failed(QStringLiteral("応答が JSON ではありません（HTTP %1: %2）").arg(httpStatus).arg(excerpt(body)));
    const QJsonObject o = doc.object();
    if (o.contains(QLatin1String("error"))) {
        TokenReply r;
        r.status = TokenReply::Status::OAuthError;
        r.error = jsonText(o, "error");
        r.description = jsonText(o, "error_description").simplified();
        return r;
    }
    if (httpStatus != 200)
        return failed(QStringLiteral("サーバーエラーです（HTTP %1）").arg(httpStatus));
    TokenReply r;
    r.tokens.accessToken = jsonText(o, "access_token");
    if (r.tokens.accessToken.isEmpty())
        return failed(QStringLiteral("応答に access_token がありません"));
    const QString type = jsonText(o, "token_type");
    if (!type.isEmpty() && type.compare(QLatin1String("Bearer"), Qt::CaseInsensitive) != 0)
        return failed(QStringLiteral("Bearer ではないトークンです（%1）").arg(type));
    r.status = TokenReply::Status::Ok;
    r.tokens.refreshToken = jsonText(o, "refresh_token");
    r.tokens.expiresIn = o.value(QLatin1String("expires_in")).toVariant().toLongLong();
    r.tokens.signedInAddress = addressInIdToken(jsonText(o, "id_token"));
    return r;
}

TokenClient::HttpResult TokenClient::post(const QString &url, QList<QPair<QString, QString>> form)
{
    auto failed = [](const QString &why) {
        HttpResult r;
        r.failure = why;
        return r;
    };
    if (!oauthEndpointSafe(url))
        return failed(QStringLiteral("エンドポイントが https ではありません（%1）").arg(url));
    if (m_aborted)
        return failed(QStringLiteral("中止しました"));
    form.append({QStringLiteral("client_id"), m_config.clientId});
    if (!m_config.clientSecret.isEmpty())
        form.append({QStringLiteral("client_secret"), m_config.clientSecret});
    QByteArray fields;
    for (const auto &[k, v] : form)
        fields += (fields.isEmpty() ? "" : "&") + QUrl::toPercentEncoding(k) + '=' + QUrl::toPercentEncoding(v);

    globalInit();
    CURL *h = curl_easy_init();
    if (!h)
        return failed(QStringLiteral("通信ライブラリを開始できません"));
    Transfer t;
    t.aborted = &m_aborted;
    QByteArray caBlob;
    if (!m_config.extraCaFile.isEmpty()) {
        QString error;
        if (!caBundle(m_config.extraCaFile, &caBlob, &error)) {
            curl_easy_cleanup(h);
            return failed(error);
        }
        curl_blob blob{caBlob.data(), static_cast<size_t>(caBlob.size()), CURL_BLOB_NOCOPY};
        curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
    }
    const QByteArray urlBytes = url.trimmed().toUtf8();
    curl_slist *headers = curl_slist_append(nullptr, "Accept: application/json");
    curl_easy_setopt(h, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, fields.constData());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(fields.size()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, kRequestSeconds);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writeCallback);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progressCallback);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    const CURLcode rc = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(h);
    if (m_aborted)
        return failed(QStringLiteral("中止しました"));
    if (t.overflow)
        return failed(QStringLiteral("応答が大きすぎます"));
    if (rc != CURLE_OK)
        return failed(QStringLiteral("%1 に接続できません（%2）")
                          .arg(url, QString::fromLocal8Bit(errorBuffer[0] ? errorBuffer : curl_easy_strerror(rc))));
    HttpResult r;
    r.status = status;
    r.body = t.body;
    return r;
}

TokenReply TokenClient::tokenPost(const QString &url, const QList<QPair<QString, QString>> &form)
{
    const HttpResult h = post(url, form);
    if (!h.failure.isEmpty())
        return failed(h.failure);
    return parseTokenReply(h.status, h.body);
}

TokenReply TokenClient::exchangeCode(const QString &code, const QByteArray &verifier, const QString &redirectUri)
{
    return tokenPost(m_config.tokenUrl, {{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                                         {QStringLiteral("code"), code},
                                         {QStringLiteral("redirect_uri"), redirectUri},
                                         {QStringLiteral("code_verifier"), QString::fromLatin1(verifier)}});
}

TokenReply TokenClient::refresh(const QString &refreshToken)
{
    return tokenPost(m_config.tokenUrl, {{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                         {QStringLiteral("refresh_token"), refreshToken},
                                         {QStringLiteral("scope"), m_config.scope}});
}

TokenReply TokenClient::pollDevice(const QString &deviceCode)
{
    return tokenPost(m_config.tokenUrl,
                     {{QStringLiteral("grant_type"), QStringLiteral("urn:ietf:params:oauth:grant-type:device_code")},
                      {QStringLiteral("device_code"), deviceCode}});
}

DeviceStart TokenClient::startDevice()
{
    DeviceStart d;
    if (m_config.deviceUrl.isEmpty()) {
        d.failure = QStringLiteral("このプロバイダーはデバイス認証に対応していません");
        return d;
    }
    const HttpResult h = post(m_config.deviceUrl, {{QStringLiteral("scope"), m_config.scope}});
    if (!h.failure.isEmpty()) {
        d.failure = failed(h.failure).message();
        return d;
    }
    const QJsonObject o = QJsonDocument::fromJson(h.body).object();
    if (o.contains(QLatin1String("error")) || h.status != 200) {
        // Read like a token reply for its error and its wording.
        d.failure = parseTokenReply(h.status == 200 ? 400 : h.status, h.body).message();
        return d;
    }
    d.deviceCode = jsonText(o, "device_code");
    d.userCode = jsonText(o, "user_code");
    // Some providers say verification_url.
    d.verificationUri = jsonText(o, "verification_uri");
    if (d.verificationUri.isEmpty())
        d.verificationUri = jsonText(o, "verification_url");
    d.verificationUriComplete = jsonText(o, "verification_uri_complete");
    if (const int i = o.value(QLatin1String("interval")).toInt(); i > 0)
        d.intervalSeconds = i;
    if (const int e = o.value(QLatin1String("expires_in")).toInt(); e > 0)
        d.expiresInSeconds = e;
    if (d.deviceCode.isEmpty() || d.userCode.isEmpty() || d.verificationUri.isEmpty())
        d.failure = QStringLiteral("デバイス認証の応答に必要な項目がありません");
    return d;
}

QString addressInIdToken(const QString &idToken)
{
    const QStringList parts = idToken.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return {};
    const QByteArray payload = QByteArray::fromBase64(parts[1].toLatin1(), QByteArray::Base64UrlEncoding);
    const QJsonObject claims = QJsonDocument::fromJson(payload).object();
    for (const char *claim : {"email", "preferred_username", "upn"}) {
        const QString v = claims.value(QLatin1String(claim)).toString();
        if (v.contains(QLatin1Char('@')))
            return v;
    }
    return {};
}
