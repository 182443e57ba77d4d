#include "checkcommand.h"

#include "accountcommand.h"
#include "cafile.h"
#include "commandio.h"
#include "connectioncheck.h"
#include "settingsstore.h"

namespace {

enum Exit { Passed = 0, Error = 1, Failed = 2 };

} // namespace

int runCheckCommand(const QStringList &arguments)
{
    AccountCommand command(
        QStringLiteral("check"),
        QStringLiteral("Connects to the account's servers, secures the connection and logs in, as the account dialog's "
                       "接続テスト does, and sends no mail."),
        {}, QStringLiteral("Extra trusted certificates (PEM), in place of the account's."));
    int status = Error;
    if (!command.parse(arguments, &status, caFileProblem))
        return status;
    TransportOptions options;
    options.extraCaFile = command.caFile();

    SettingsStore settings;
    AccountRecord a;
    if (!command.loadConfigured(settings, &a))
        return Error;

    const ConnectionCheckResult r = checkConnection(a, options, [](const CheckStep &s) {
        ConnectionCheckResult one;
        one.passed = true;
        one.steps << s;
        printText(stdout, connectionCheckText(one));
    });
    if (r.smtpSizeLimit) {
        a.SmtpSizeLimit = *r.smtpSizeLimit;
        saveServerFacts(settings, a);
    }
    if (r.passed) {
        printText(stdout, QStringLiteral("接続テストに成功しました。\n"));
        return Passed;
    }
    printText(stdout, QStringLiteral("接続テストに失敗しました。\n") + r.failure + QLatin1Char('\n')
                          + (r.hint.isEmpty() ? QString() : r.hint + QLatin1Char('\n')));
    if (r.untrusted)
        printText(stderr, describeUntrustedCertificate(*r.untrusted));
    return Failed;
}
