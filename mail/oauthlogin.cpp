#include "oauthlogin.h"

#include "curlconnection.h"
#include "mailtransport.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

enum class Mechanism { XOAuth2, OAuthBearer };

QByteArray initialResponse(Mechanism m, const TransportSettings &s, int port)
{
    const QByteArray user = s.user.toUtf8();
    const QByteArray token = s.accessToken.toUtf8();
    if (m == Mechanism::XOAuth2)
        return "user=" + user
               + "\x01"
                 "auth=Bearer "
               + token + "\x01\x01";
    // RFC 7628 3.1: the GS2 header names the user; "," and "=" in it are
    // escaped (RFC 5801).
    QByteArray name = user;
    name.replace("=", "=3D").replace(",", "=2C");
    return "n,a=" + name
           + ",\x01"
             "host="
           + s.host.toUtf8()
           + "\x01"
             "port="
           + QByteArray::number(port)
           + "\x01"
             "auth=Bearer "
           + token + "\x01\x01";
}

QByteArray mechanismName(Mechanism m)
{
    return m == Mechanism::XOAuth2 ? "XOAUTH2" : "OAUTHBEARER";
}

// The error a server sends in its challenge after a refused token: a JSON
// object in base64 ({"status":"401","schemes":"bearer",...}), shown as it is.
QString challengeText(const QByteArray &base64)
{
    const QByteArray json = QByteArray::fromBase64(base64.trimmed());
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    if (o.isEmpty())
        return {};
    return serverText(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

struct Attempt {
    bool accepted = false;
    bool answered = true; // false: the connection failed or timed out
    QString why;          // the server's words
};

// One AUTH exchange. SMTP: 235 accepted, 334 with the error then 5xx;
// POP3: +OK accepted, "+ " with the error then -ERR.
Attempt authenticate(CurlConnection &conn, Mechanism m, const TransportSettings &s, bool smtp, int port)
{
    auto step = [&conn](const QByteArray &line) {
        if (!conn.sendAll(line + "\r\n"))
            return ServerReply();
        return conn.readReply();
    };
    Attempt a;
    ServerReply r = step("AUTH " + mechanismName(m) + ' ' + initialResponse(m, s, port).toBase64());
    QString detail;
    const bool challenged = smtp ? r.code == 334 : (r.complete() && r.text.startsWith("+ "));
    if (challenged) {
        detail = challengeText(r.text.mid(smtp ? 4 : 2));
        // The client's answer ends the exchange: empty for XOAUTH2, %x01
        // for OAUTHBEARER (RFC 7628 3.2.3).
        r = step(m == Mechanism::XOAuth2 ? QByteArray() : QByteArray("\x01").toBase64());
    }
    if (!r.complete()) {
        a.answered = false;
        return a;
    }
    a.accepted = smtp ? r.code == 235 : r.code == 1;
    if (!a.accepted)
        a.why = serverText(r.text) + (detail.isEmpty() ? QString() : QStringLiteral(" ") + detail);
    return a;
}

QString login(CurlConnection &conn, TransportSettings &s, bool smtp, int port)
{
    const QByteArrayList offered = smtp ? conn.capability("AUTH") : conn.capability("SASL");
    Mechanism m = Mechanism::XOAuth2;
    if (!offered.contains("XOAUTH2")) {
        if (!offered.contains("OAUTHBEARER")) {
            const QString list = QString::fromLatin1(offered.join(' '));
            return smtp ? QStringLiteral(
                              "AUTH LOGIN failed (XOAUTH2: the server offers no OAuth 2.0 login; it offers %1)")
                              .arg(list)
                        : QStringLiteral(
                              "POP3 login failed (XOAUTH2: the server offers no OAuth 2.0 login; it offers %1)")
                              .arg(list);
        }
        m = Mechanism::OAuthBearer;
    }
    const QString failed = smtp ? QStringLiteral("AUTH LOGIN failed (%1: %2)")
                                : QStringLiteral("POP3 login failed (%1: %2)");
    const QString name = QString::fromLatin1(mechanismName(m));
    Attempt a = authenticate(conn, m, s, smtp, port);
    if (a.accepted)
        return {};
    if (!a.answered)
        return QStringLiteral("Cant connect Server (%1:%2: no answer to the login)").arg(s.host).arg(port);
    // A token may be refused before its time (revoked, or the server's clock
    // ahead): renewed once, and tried again.
    if (!s.renewToken)
        return failed.arg(name, a.why);
    const AccessToken renewed = s.renewToken();
    if (!renewed.ok())
        return failed.arg(name, a.why + QStringLiteral("; ") + renewed.failure);
    s.accessToken = renewed.token;
    a = authenticate(conn, m, s, smtp, port);
    if (a.accepted)
        return {};
    if (!a.answered)
        return QStringLiteral("Cant connect Server (%1:%2: no answer to the login)").arg(s.host).arg(port);
    return failed.arg(name, a.why);
}

} // namespace

QString smtpOAuthLogin(CurlConnection &conn, TransportSettings &settings)
{
    return login(conn, settings, true, settings.smtpPort);
}

QString pop3OAuthLogin(CurlConnection &conn, TransportSettings &settings)
{
    return login(conn, settings, false, settings.pop3Port);
}

bool isOAuthLoginFailure(const QString &text)
{
    return text.contains(QLatin1String("failed (XOAUTH2:")) || text.contains(QLatin1String("failed (OAUTHBEARER:"));
}
