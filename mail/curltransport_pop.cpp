// The POP3 check before sending (POP before SMTP): log in and ask STAT.

#include "curlconnection.h"
#include "curltransport.h"
#include "curltransport_p.h"
#include "oauthlogin.h"

#include <QVariantList>

using namespace transport;

QString transport::pop3LogIn(CurlConnection &pop, TransportSettings &settings, bool *connectionFault)
{
    *connectionFault = false;
    auto step = [&pop](const QByteArray &line) {
        if (!pop.sendAll(line + "\r\n"))
            return ServerReply();
        return pop.readReply();
    };
    const QByteArray user = settings.user.toUtf8();
    const QByteArray password = settings.password.toUtf8();
    bool userOffered = false, saslOffered = false;
    pop.capability("USER", &userOffered);
    const QByteArrayList sasl = pop.capability("SASL", &saslOffered);
    ServerReply r;
    if (settings.oauth) {
        const QString refused = pop3OAuthLogin(pop, settings);
        if (!refused.isEmpty()) {
            pop.close();
            return refused;
        }
        return {};
    }
    if (!userOffered && saslOffered && sasl.contains("PLAIN")) {
        r = step("AUTH PLAIN " + ('\0' + user + '\0' + password).toBase64());
    } else {
        r = step("USER " + user);
        if (r.code == 1)
            r = step("PASS " + password);
    }
    if (!r.complete()) {
        *connectionFault = true;
        return r.status == ServerReply::TooLong ? tooLongText() : QStringLiteral("no answer to the login");
    }
    if (r.code != 1)
        return QStringLiteral("POP3 login failed (") + fromServer(r.text) + QLatin1Char(')');
    return {};
}

QVariant CurlTransport::checkPop()
{
    const int port = m_settings.pop3Port;
    auto cantConnectPop = [&](const QString &detail) {
        return QStringLiteral("Cant connect Server (%1:%2: %3)").arg(m_settings.host).arg(port).arg(detail);
    };
    if (hasLineBreak(m_settings.user) || hasLineBreak(m_settings.password))
        return QStringLiteral("POP3 login failed (a line break in the user name or password)");
    CurlConnection &pop = *m_pop;
    const QString error = pop.open(connectionOptions(m_settings, MailProtocol::Pop3));
    if (onOpened)
        onOpened(MailProtocol::Pop3, pop);
    if (!error.isEmpty())
        return cantConnectPop(error);
    if (!mayLogIn(pop, m_settings))
        return cantConnectPop(clearTextRefusal());

    bool connectionFault = false;
    const QString refused = pop3LogIn(pop, m_settings, &connectionFault);
    if (!refused.isEmpty())
        return connectionFault ? cantConnectPop(refused) : refused;
    auto step = [&pop](const QByteArray &line) {
        if (!pop.sendAll(line + "\r\n"))
            return ServerReply();
        return pop.readReply();
    };
    ServerReply r = step("STAT");
    const QList<QByteArray> parts = r.text.simplified().split(' ');
    bool okCount = false, okSize = false;
    const qlonglong count = parts.size() >= 3 ? parts[1].toLongLong(&okCount) : 0;
    const qlonglong size = parts.size() >= 3 ? parts[2].toLongLong(&okSize) : 0;
    if (r.code == 1 && pop.sendAll("QUIT\r\n"))
        pop.readReply(kGoodbyeMs);
    pop.close();
    if (r.code == 1 && okCount && okSize)
        return QVariantList{count, size};
    return QStringLiteral("Unexpected POP3 reply: ") + fromServer(r.text);
}
