#include "inboxcommand.h"

#include "account.h"
#include "addressdb.h"
#include "cafile.h"
#include "commandio.h"
#include "inboxreader.h"
#include "localclock.h"
#include "programfolder.h"
#include "sendrun.h"
#include "sentmaillog.h"
#include "settingsstore.h"
#include "suppression.h"
#include "unsubscribetoken.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

enum Exit { Passed = 0, Error = 1, Failed = 2 };

int fail(const QString &what)
{
    printText(stderr, QStringLiteral("quillpost inbox: ") + what + QLatin1Char('\n'));
    return Error;
}

} // namespace

int runInboxCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads the account's POP3 mailbox: bounces and unsubscribe requests suppress their addresses."));
    const QCommandLineOption account{QStringLiteral("account"), QStringLiteral("Account profile (0-4)."),
                                     QStringLiteral("N")};
    const QCommandLineOption database{QStringLiteral("database"),
                                      QStringLiteral("The address file, in place of the one in use."),
                                      QStringLiteral("FILE")};
    const QCommandLineOption remove{QStringLiteral("delete"),
                                    QStringLiteral("Delete the messages it acted on from the server.")};
    const QCommandLineOption caFile{QStringLiteral("ca-file"),
                                    QStringLiteral("Extra trusted certificates (PEM), in place of the account's."),
                                    QStringLiteral("PEM")};
    parser.addOptions({account, database, remove, caFile});
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("inbox"), QStringLiteral("The command."));
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printText(stdout, parser.helpText());
        return Passed;
    }
    if (parser.positionalArguments() != QStringList{QStringLiteral("inbox")})
        return fail(QStringLiteral("unexpected argument: ")
                    + parser.positionalArguments().mid(1).join(QLatin1Char(' ')));
    if (!parser.isSet(account))
        return fail(QStringLiteral("--account is missing"));
    bool ok = false;
    const int profile = parser.value(account).toInt(&ok);
    if (!ok || profile < 0 || profile > 4)
        return fail(QStringLiteral("--account must be 0 to 4, not \"%1\"").arg(parser.value(account)));
    TransportOptions transport;
    if (parser.isSet(caFile)) {
        const QString problem = caFileProblem(parser.value(caFile));
        if (!problem.isEmpty())
            return fail(problem);
        transport.extraCaFile = parser.value(caFile);
    }

    SettingsStore settings;
    AccountRecord a;
    a.Account = static_cast<qint16>(profile);
    readAccountProfile(settings, a.Account, a);
    if (accountNotConfigured(a) || a.szServer.trimmed().isEmpty())
        return fail(QStringLiteral("メールサーバー情報に誤りがあります。"));

    const QString programFolder = writableProgramFolder(QCoreApplication::applicationDirPath(),
                                                        QStandardPaths::writableLocation(
                                                            QStandardPaths::AppDataLocation));
    const QString path = parser.isSet(database) ? parser.value(database)
                                                : databasePathFor(settings.value(Setting::DatabaseFile), programFolder);
    AddressDb db;
    QString error;
    if (!db.open(path, !parser.isSet(database), &error))
        return fail(path + QStringLiteral(": ") + error);

    const TransportSettings ts = transportSettings(a, transport);
    InboxOptions options;
    options.seenFile = QFileInfo(settings.fileName()).absoluteDir().filePath(QStringLiteral("InboxSeen.txt"));
    options.seenKey = QStringLiteral("%1 %2@%3:%4").arg(profile).arg(ts.user, ts.host).arg(ts.pop3Port);
    options.csvFile = inboxCsvPathBeside(SentMailLog::pathIn(programFolder));
    options.secret = unsubscribeSecret(settings);
    options.today = localTimeToTheSecond().date();
    options.deleteClassified = parser.isSet(remove);

    const InboxResult r = readInbox(ts, db, options, [](const InboxEntry &e) {
        printText(stdout, inboxEntryText(e) + QLatin1Char('\n'));
    });
    printText(stdout, inboxCountsText(r) + QLatin1Char('\n'));
    if (r.error.isEmpty())
        return Passed;
    printText(stderr, QStringLiteral("quillpost inbox: ") + r.error + QLatin1Char('\n'));
    return r.error.startsWith(QStringLiteral("Cant connect")) || r.error.contains(QStringLiteral("login failed"))
               ? Failed
               : Error;
}
