#include "checkcommand.h"

#include "account.h"
#include "cafile.h"
#include "commandio.h"
#include "connectioncheck.h"
#include "settingsstore.h"

#include <QCommandLineParser>

namespace {

enum Exit { Passed = 0, Error = 1, Failed = 2 };

int fail(const QString &what)
{
    printText(stderr, QStringLiteral("quillpost check: ") + what + QLatin1Char('\n'));
    return Error;
}

} // namespace

int runCheckCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Connects to the account's servers, secures the connection and logs in, as the account dialog's "
                       "接続テスト does, and sends no mail."));
    const QCommandLineOption account{QStringLiteral("account"), QStringLiteral("Account profile (0-4)."),
                                     QStringLiteral("N")};
    const QCommandLineOption caFile{QStringLiteral("ca-file"),
                                    QStringLiteral("Extra trusted certificates (PEM), in place of the account's."),
                                    QStringLiteral("PEM")};
    parser.addOptions({account, caFile});
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("check"), QStringLiteral("The command."));
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printText(stdout, parser.helpText());
        return Passed;
    }
    if (parser.positionalArguments() != QStringList{QStringLiteral("check")})
        return fail(QStringLiteral("unexpected argument: ")
                    + parser.positionalArguments().mid(1).join(QLatin1Char(' ')));
    if (!parser.isSet(account))
        return fail(QStringLiteral("--account is missing"));
    bool ok = false;
    const int profile = parser.value(account).toInt(&ok);
    if (!ok || profile < 0 || profile > 4)
        return fail(QStringLiteral("--account must be 0 to 4, not \"%1\"").arg(parser.value(account)));
    TransportOptions options;
    if (parser.isSet(caFile)) {
        const QString problem = caFileProblem(parser.value(caFile));
        if (!problem.isEmpty())
            return fail(problem);
        options.extraCaFile = parser.value(caFile);
    }

    SettingsStore settings;
    AccountRecord a;
    a.Account = static_cast<qint16>(profile);
    readAccountProfile(settings, a.Account, a);
    if (accountNotConfigured(a) || a.szServer.trimmed().isEmpty())
        return fail(QStringLiteral("メールサーバー情報に誤りがあります。"));

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
