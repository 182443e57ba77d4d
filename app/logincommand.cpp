#include "logincommand.h"

#include "account.h"
#include "devicesignin.h"
#include "loopbacksignin.h"
#include "settingsstore.h"
#include "signin.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cstdio>

namespace {

enum Exit { SignedIn = 0, Error = 1, Refused = 2 };

void print(FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fflush(to);
}

int fail(const QString &what, int status = Error)
{
    print(stderr, QStringLiteral("quillpost login: ") + what + QLatin1Char('\n'));
    return status;
}

// The desktop's browser where there is one; the address is printed anyway.
void openBrowser(const QUrl &url)
{
    print(stdout, QStringLiteral("次のアドレスをブラウザーで開いて、サインインしてください（%1 分以内）:\n%2\n")
                      .arg(LoopbackSignIn::kWaitMs / 60000)
                      .arg(url.toString(QUrl::FullyEncoded)));
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty() && qEnvironmentVariableIsSet("DISPLAY"))
        QProcess::startDetached(opener, {url.toString(QUrl::FullyEncoded)});
}

SignInResult signInOnDevice(const OAuthClientConfig &config)
{
    DeviceSignIn signIn(config);
    const DeviceStart started = signIn.start();
    if (!started.failure.isEmpty()) {
        SignInResult r;
        r.message = started.failure;
        return r;
    }
    print(stdout, QStringLiteral("別の端末のブラウザーで %1 を開き、コード %2 を入力してサインインしてください。\n")
                      .arg(started.verificationUri, started.userCode));
    if (!started.verificationUriComplete.isEmpty())
        print(stdout, QStringLiteral("（コード入りのアドレス: %1）\n").arg(started.verificationUriComplete));
    print(stdout, QStringLiteral("サインインが終わるまで待っています…\n"));
    return signIn.wait(started);
}

} // namespace

int runLoginCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Signs an OAuth 2.0 account in and keeps its refresh token."));
    const QCommandLineOption account{QStringLiteral("account"), QStringLiteral("Account profile (0-4)."),
                                     QStringLiteral("N")};
    const QCommandLineOption browser{QStringLiteral("browser"),
                                     QStringLiteral("Sign in through this machine's browser even where the provider "
                                                    "offers a code for another device.")};
    const QCommandLineOption caFile{QStringLiteral("ca-file"),
                                    QStringLiteral("Extra trusted certificates (PEM), e.g. a company's own CA."),
                                    QStringLiteral("PEM")};
    parser.addOptions({account, browser, caFile});
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("login"), QStringLiteral("The command."));
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        print(stdout, parser.helpText());
        return SignedIn;
    }
    if (parser.positionalArguments() != QStringList{QStringLiteral("login")})
        return fail(QStringLiteral("unexpected argument: ")
                    + parser.positionalArguments().mid(1).join(QLatin1Char(' ')));
    if (!parser.isSet(account))
        return fail(QStringLiteral("--account is missing"));
    bool ok = false;
    const int profile = parser.value(account).toInt(&ok);
    if (!ok || profile < 0 || profile > 4)
        return fail(QStringLiteral("--account must be 0 to 4, not \"%1\"").arg(parser.value(account)));
    if (parser.isSet(caFile) && !QFileInfo(parser.value(caFile)).isReadable())
        return fail(parser.value(caFile) + QStringLiteral(": certificate file not readable"));

    SettingsStore settings;
    AccountRecord a;
    a.Account = static_cast<qint16>(profile);
    readAccountProfile(settings, a.Account, a);
    if (!a.OAuth2)
        return fail(QStringLiteral("account %1 signs in with a password; choose OAuth 2.0 for it in the account dialog")
                        .arg(profile));
    const OAuthClientConfig config = accountOAuthConfig(a, parser.value(caFile));
    if (config.clientId.isEmpty())
        return fail(
            QStringLiteral("account %1 has no client ID; enter the one your administrator registered").arg(profile));

    const SignInResult r = !config.deviceUrl.isEmpty() && !parser.isSet(browser)
                               ? signInOnDevice(config)
                               : LoopbackSignIn(config).run(openBrowser);
    if (!r.ok())
        return fail(r.message, Refused);
    QString error;
    SettingsStore::SecretPlace place;
    if (!keepSignIn(settings, profile, r.tokens, &error, &place))
        return fail(error, Refused);
    print(stdout,
          QStringLiteral("サインインしました%1。\n")
              .arg(r.tokens.signedInAddress.isEmpty() ? QString()
                                                      : QStringLiteral("（%1）").arg(r.tokens.signedInAddress)));
    if (place == SettingsStore::SecretPlace::File)
        print(stdout, QStringLiteral("キーリングを利用できないため、サインイン情報は %1 に保存しました。\n")
                          .arg(settings.fileName()));
    return SignedIn;
}
