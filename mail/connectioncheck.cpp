#include "connectioncheck.h"

#include "account.h"
#include "curlconnection.h"
#include "curltransport.h"
#include "failurehint.h"
#include "signin.h"

#include <QLocale>

namespace {

using Stage = CurlConnection::Stage;

QString yesNo(bool on)
{
    return on ? QStringLiteral("あり") : QStringLiteral("なし");
}

QString numberText(qint64 n)
{
    return QLocale(QLocale::Japanese).toString(n);
}

// What the test saw of one connection when it was opened.
struct Seen {
    bool opened = false;
    Stage stage = Stage::Connect;
    QString address;
    bool encrypted = false;
    QString tlsVersion;
    bool pinned = false;
    std::optional<CertificateDetails> certificate;
    QByteArrayList capabilities;
    bool pipelining = false, smtpUtf8 = false, chunking = false, sizeOffered = false, authOffered = false;
    QByteArrayList sizeWords, authWords;
};

Seen seenOf(const CurlConnection &c)
{
    Seen s;
    s.opened = true;
    s.stage = c.stage();
    s.address = c.peerAddress();
    s.encrypted = c.isEncrypted();
    s.tlsVersion = c.tlsVersion();
    s.pinned = c.trustedByPin();
    const QList<QByteArray> chain = c.peerCertificates();
    if (!chain.isEmpty())
        s.certificate = certificateDetails(chain.first());
    s.capabilities = c.capabilities();
    c.capability("PIPELINING", &s.pipelining);
    c.capability("SMTPUTF8", &s.smtpUtf8);
    c.capability("CHUNKING", &s.chunking);
    s.sizeWords = c.capability("SIZE", &s.sizeOffered);
    s.authWords = c.capability("AUTH", &s.authOffered);
    return s;
}

class Check {
public:
    Check(const AccountRecord &account, const TransportOptions &options,
          const std::function<void(const CheckStep &)> &onStep)
        : m_account(account), m_options(options), m_settings(transportSettings(account, options)), m_onStep(onStep)
    {
    }

    ConnectionCheckResult run();

private:
    void step(const QString &title, const QString &text, bool passed = true);
    bool fail(const QString &title, const QString &text, const QString &failure);
    // Connection, TLS and (SMTP) EHLO as the connection saw them; false
    // when one of them failed.
    bool openingSteps(const QString &label, const Seen &seen, bool implicitTls, const QString &failure);
    QString tlsText(const Seen &seen, bool implicitTls, const QString &upgrade) const;
    QString ehloText(const Seen &seen);
    bool signIn();
    bool pop3();
    bool smtp();
    QString loginName() const;

    const AccountRecord &m_account;
    const TransportOptions m_options;
    TransportSettings m_settings;
    const std::function<void(const CheckStep &)> &m_onStep;
    ConnectionCheckResult m_result;
};

void Check::step(const QString &title, const QString &text, bool passed)
{
    const CheckStep s{title, text, passed};
    m_result.steps << s;
    if (m_onStep)
        m_onStep(s);
}

bool Check::fail(const QString &title, const QString &text, const QString &failure)
{
    m_result.failure = failure;
    step(title, failure.isEmpty() ? text : text + QLatin1Char('\n') + failure, false);
    return false;
}

QString Check::tlsText(const Seen &seen, bool implicitTls, const QString &upgrade) const
{
    if (!seen.encrypted)
        return QStringLiteral("暗号化されていません（サーバーが %1 に対応していません）。").arg(upgrade);
    QString text = QStringLiteral("%1 で暗号化しました（%2）。")
                       .arg(seen.tlsVersion.isEmpty() ? QStringLiteral("TLS") : seen.tlsVersion,
                            implicitTls ? QStringLiteral("最初から TLS") : upgrade);
    text += seen.pinned ? QStringLiteral("\n証明書: このアカウントで信頼した証明書です。")
                        : QStringLiteral("\n証明書: 検証済みです。");
    if (seen.certificate)
        for (const auto &row : certificateRows(*seen.certificate))
            text += QStringLiteral("\n%1: %2").arg(row.first, row.second);
    return text;
}

QString Check::ehloText(const Seen &seen)
{
    qint64 size = 0;
    if (!seen.sizeWords.isEmpty())
        size = std::max<qint64>(0, seen.sizeWords.first().toLongLong());
    m_result.smtpSizeLimit = size;
    const QString sizeText = !seen.sizeOffered ? yesNo(false)
                             : size > 0        ? QStringLiteral("%1 バイトまで").arg(numberText(size))
                                               : QStringLiteral("あり（上限なし）");
    const QString authText = seen.authOffered ? QString::fromLatin1(seen.authWords.join(' '))
                                              : QStringLiteral("なし（ログイン不要）");
    return QStringLiteral("PIPELINING: %1\nSIZE: %2\nSMTPUTF8: %3\nCHUNKING: %4\nAUTH: %5")
        .arg(yesNo(seen.pipelining), sizeText, yesNo(seen.smtpUtf8), yesNo(seen.chunking), authText);
}

bool Check::openingSteps(const QString &label, const Seen &seen, bool implicitTls, const QString &failure)
{
    const bool smtp = label == QLatin1String("SMTP");
    const QString upgrade = smtp ? QStringLiteral("STARTTLS") : QStringLiteral("STLS");
    const QString connect = label + QStringLiteral(": 接続");
    const QString greeting = smtp ? label + QStringLiteral(": EHLO") : label + QStringLiteral(": あいさつ");
    const QString tls = label + QStringLiteral(": 暗号化");
    if (!seen.opened || seen.stage == Stage::Connect)
        return fail(connect,
                    QStringLiteral("%1:%2 に接続できませんでした。")
                        .arg(m_settings.host)
                        .arg(smtp ? m_settings.smtpPort : m_settings.pop3Port),
                    failure);
    step(connect, QStringLiteral("%1 に接続しました。").arg(seen.address));
    if (seen.stage == Stage::Greeting)
        return fail(greeting, QStringLiteral("サーバーが応じませんでした。"), failure);
    // TLS from the start comes before the greeting; STARTTLS after it.
    const bool ehloSeen = !implicitTls && !seen.capabilities.isEmpty();
    if (seen.stage == Stage::Tls) {
        if (ehloSeen && smtp)
            step(greeting, ehloText(seen));
        return fail(tls, QStringLiteral("暗号化できませんでした。"), failure);
    }
    if (smtp)
        step(greeting, ehloText(seen));
    step(tls, tlsText(seen, implicitTls, upgrade));
    return true;
}

bool Check::pop3()
{
    CurlTransport transport(m_settings);
    Seen seen;
    transport.onOpened = [&seen](MailProtocol, const CurlConnection &c) { seen = seenOf(c); };
    const QVariant r = transport.checkPop();
    const bool ok = r.typeId() == QMetaType::QVariantList;
    if (!ok && seen.stage != Stage::Ready)
        return openingSteps(QStringLiteral("POP3"), seen, m_settings.pop3ImplicitTls, r.toString());
    if (!openingSteps(QStringLiteral("POP3"), seen, m_settings.pop3ImplicitTls, QString()))
        return false;
    if (!ok)
        return fail(QStringLiteral("POP3: ログイン"), QStringLiteral("ログインできませんでした。"), r.toString());
    step(QStringLiteral("POP3: ログイン"), QStringLiteral("%1 としてログインしました（メール %2 通）。")
                                               .arg(loginName(), numberText(r.toList().value(0).toLongLong())));
    return true;
}

// An OAuth 2.0 account's token is fetched as a run's is, and renewed once
// when a server refuses it.
bool Check::signIn()
{
    const QString title = QStringLiteral("サインイン");
    const AccessToken token = freshAccessToken(m_account, m_options.settingsFile, m_settings.extraCaFile);
    if (!token.ok())
        return fail(title, QStringLiteral("アクセストークンを取得できませんでした。"), signInFailureMessage(token));
    m_settings.accessToken = token.token;
    const AccountRecord account = m_account;
    const TransportOptions options = m_options;
    const QString caFile = m_settings.extraCaFile;
    m_settings.renewToken = [account, options, caFile] {
        return freshAccessToken(account, options.settingsFile, caFile);
    };
    step(title, QStringLiteral("%1 のアクセストークンを取得しました。").arg(loginName()));
    return true;
}

QString Check::loginName() const
{
    return m_account.OAuth2 ? m_account.OAuthSignedIn : m_account.User;
}

bool Check::smtp()
{
    CurlTransport transport(m_settings);
    Seen seen;
    transport.onOpened = [&seen](MailProtocol, const CurlConnection &c) { seen = seenOf(c); };
    const QString error = transport.open();
    if (seen.stage != Stage::Ready)
        return openingSteps(QStringLiteral("SMTP"), seen, m_settings.smtpImplicitTls, error);
    if (!openingSteps(QStringLiteral("SMTP"), seen, m_settings.smtpImplicitTls, QString()))
        return false;
    const QString login = QStringLiteral("SMTP: ログイン");
    if (!error.isEmpty())
        return fail(login, QStringLiteral("ログインできませんでした。"), error);
    if (!m_settings.smtpAuth)
        step(login, QStringLiteral("SMTP－AUTH を使わない設定のため、ログインしません。"));
    else if (!seen.authOffered)
        step(login, QStringLiteral("サーバーがログインを求めていないため、ログインしません。"));
    else
        step(login, QStringLiteral("%1 としてログインしました。").arg(loginName()));
    transport.end();
    step(QStringLiteral("SMTP: 終了"), QStringLiteral("メールを送らずに QUIT で接続を終えました。"));
    return true;
}

ConnectionCheckResult Check::run()
{
    auto sink = m_settings.untrustedCertificates;
    if (!sink)
        m_settings.untrustedCertificates = sink = std::make_shared<UntrustedCertificateSink>();
    m_result.passed = (!m_account.OAuth2 || signIn()) && (m_account.Check2V != 1 || pop3()) && smtp();
    if (!m_result.passed) {
        m_result.untrusted = sink->take();
        m_result.hint = connectionFailureHint(m_result.failure);
    }
    return m_result;
}

} // namespace

ConnectionCheckResult checkConnection(const AccountRecord &account, TransportOptions options,
                                      const std::function<void(const CheckStep &)> &onStep)
{
    if (options.timeoutSeconds <= 0)
        options.timeoutSeconds = kCheckSeconds;
    return Check(account, options, onStep).run();
}

QString connectionCheckText(const ConnectionCheckResult &result)
{
    QString text;
    for (const CheckStep &s : result.steps) {
        QString body = s.text;
        body.replace(QLatin1Char('\n'), QStringLiteral("\n      "));
        text += QStringLiteral("%1 %2\n      %3\n")
                    .arg(s.passed ? QStringLiteral("[OK]") : QStringLiteral("[NG]"), s.title, body);
    }
    if (!result.passed) {
        text += result.failure + QLatin1Char('\n');
        if (!result.hint.isEmpty())
            text += result.hint + QLatin1Char('\n');
    }
    return text;
}
