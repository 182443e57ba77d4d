#include "inboxcommand.h"

#include "accountcommand.h"
#include "cafile.h"
#include "commandio.h"
#include "inboxjob.h"
#include "localclock.h"
#include "programfolder.h"
#include "settingsstore.h"
#include "signin.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace {

enum Exit { Passed = 0, Error = 1, Failed = 2 };

} // namespace

int runInboxCommand(const QStringList &arguments)
{
    const QCommandLineOption database{QStringLiteral("database"),
                                      QStringLiteral("The address file, in place of the one in use."),
                                      QStringLiteral("FILE")};
    const QCommandLineOption remove{QStringLiteral("delete"),
                                    QStringLiteral("Delete the messages it acted on from the server.")};
    AccountCommand command(
        QStringLiteral("inbox"),
        QStringLiteral("Reads the account's POP3 mailbox: bounces and unsubscribe requests suppress their addresses."),
        {database, remove}, QStringLiteral("Extra trusted certificates (PEM), in place of the account's."));
    int status = Error;
    if (!command.parse(arguments, &status, caFileProblem))
        return status;

    SettingsStore settings;
    AccountRecord a;
    if (!command.loadConfigured(settings, &a))
        return Error;

    const QString programFolder = writableProgramFolder(QCoreApplication::applicationDirPath(),
                                                        QStandardPaths::writableLocation(
                                                            QStandardPaths::AppDataLocation));
    InboxJob job = inboxJobFor(settings, a, programFolder, localTimeToTheSecond().date());
    job.transport.extraCaFile = command.caFile();
    if (command.parser().isSet(database)) {
        // A file named on the command line must be there already.
        job.databasePath = command.parser().value(database);
        job.createDatabase = false;
    }
    job.options.deleteClassified = command.parser().isSet(remove);

    const InboxResult r = readAccountInbox(job, [](const InboxEntry &e) {
        printText(stdout, inboxEntryText(e) + QLatin1Char('\n'));
    });
    if (r.failure == InboxFailure::SignIn) {
        // The provider's words on stderr; the way out on stdout.
        command.fail(QString(r.error).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        if (r.signInExpired)
            printText(stdout, signInExpiredCommandText(command.profile()) + QLatin1Char('\n'));
        return Failed;
    }
    if (r.failure == InboxFailure::NoDatabase)
        return command.fail(r.error);
    printText(stdout, inboxCountsText(r) + QLatin1Char('\n'));
    if (!r.csvError.isEmpty())
        command.fail(r.csvError);
    if (r.failure == InboxFailure::None)
        return Passed;
    command.fail(inboxFailureText(r).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    return r.failure == InboxFailure::Connect || r.failure == InboxFailure::Login ? Failed : Error;
}
