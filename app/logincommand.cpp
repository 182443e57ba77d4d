#include "logincommand.h"

#include "accountcommand.h"
#include "commandio.h"
#include "devicesignin.h"
#include "loopbacksignin.h"
#include "settingsstore.h"
#include "signin.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

enum Exit { SignedIn = 0, Error = 1, Refused = 2 };

// The desktop's browser where there is one; the address is printed anyway.
void openBrowser(const QUrl &url)
{
    printText(stdout, QStringLiteral("次のアドレスをブラウザーで開いて、サインインしてください（%1 分以内）:\n%2\n")
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
    printText(stdout, QStringLiteral("別の端末のブラウザーで %1 を開き、コード %2 を入力してサインインしてください。\n")
                          .arg(started.verificationUri, started.userCode));
    if (!started.verificationUriComplete.isEmpty())
        printText(stdout, QStringLiteral("（コード入りのアドレス: %1）\n").arg(started.verificationUriComplete));
    printText(stdout, QStringLiteral("サインインが終わるまで待っています…\n"));
    return signIn.wait(started);
}

} // namespace

int runLoginCommand(const QStringList &arguments)
{
    const QCommandLineOption browser{QStringLiteral("browser"),
                                     QStringLiteral("Sign in through this machine's browser even where the provider "
                                                    "offers a code for another device.")};
    AccountCommand command(QStringLiteral("login"),
                           QStringLiteral("Signs an OAuth 2.0 account in and keeps its refresh token."), {browser},
                           QStringLiteral("Extra trusted certificates (PEM), e.g. a company's own CA."));
    int status = Error;
    if (!command.parse(arguments, &status, [](const QString &file) {
            return QFileInfo(file).isReadable() ? QString() : file + QStringLiteral(": certificate file not readable");
        }))
        return status;
    const QCommandLineParser &parser = command.parser();
    const int profile = command.profile();

    SettingsStore settings;
    AccountRecord a;
    a.Account = static_cast<qint16>(profile);
    readAccountProfile(settings, a.Account, a);
    if (!a.OAuth2)
        return command.fail(
            QStringLiteral("account %1 signs in with a password; choose OAuth 2.0 for it in the account dialog")
                .arg(profile));
    const OAuthClientConfig config = accountOAuthConfig(a, command.caFile());
    if (config.clientId.isEmpty())
        return command.fail(
            QStringLiteral("account %1 has no client ID; enter the one your administrator registered").arg(profile));

    const SignInResult r = !config.deviceUrl.isEmpty() && !parser.isSet(browser)
                               ? signInOnDevice(config)
                               : LoopbackSignIn(config).run(openBrowser);
    if (!r.ok())
        return command.fail(r.message, Refused);
    QString error;
    SettingsStore::SecretPlace place;
    if (!keepSignIn(settings, profile, r.tokens, &error, &place))
        return command.fail(error, Refused);
    printText(stdout,
              QStringLiteral("サインインしました%1。\n")
                  .arg(r.tokens.signedInAddress.isEmpty() ? QString()
                                                          : QStringLiteral("（%1）").arg(r.tokens.signedInAddress)));
    if (place == SettingsStore::SecretPlace::File)
        printText(stdout, QStringLiteral("キーリングを利用できないため、サインイン情報は %1 に保存しました。\n")
                              .arg(settings.fileName()));
    return SignedIn;
}
