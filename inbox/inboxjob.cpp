#include "inboxjob.h"

#include "addressdb.h"
#include "sentmaillog.h"
#include "settingkeys.h"
#include "settingsstore.h"
#include "signin.h"
#include "suppression.h"
#include "unsubscribetoken.h"

#include <QDir>
#include <QFileInfo>

InboxJob inboxJobFor(SettingsStore &settings, const AccountRecord &account, const QString &programFolder,
                     const QDate &today)
{
    InboxJob job;
    job.account = account;
    job.transport.settingsFile = settings.fileName();
    job.databasePath = databasePathFor(settings.value(Setting::DatabaseFile), programFolder);
    const TransportSettings ts = transportSettings(account, job.transport);
    InboxOptions &o = job.options;
    o.seenFile = QFileInfo(settings.fileName()).absoluteDir().filePath(QStringLiteral("InboxSeen.txt"));
    o.seenKey = QStringLiteral("%1 %2@%3:%4").arg(account.Account).arg(ts.user, ts.host).arg(ts.pop3Port);
    o.csvFile = inboxCsvPathBeside(SentMailLog::pathIn(programFolder));
    o.secret = unsubscribeSecret(settings);
    o.today = today;
    return job;
}

InboxResult readAccountInbox(const InboxJob &job, const std::function<void(const InboxEntry &)> &onEntry)
{
    InboxResult result;
    TransportSettings ts = transportSettings(job.account, job.transport);
    if (job.account.OAuth2) {
        const AccessToken token = freshAccessToken(job.account, job.transport.settingsFile, ts.extraCaFile);
        if (!token.ok()) {
            result.failure = InboxFailure::SignIn;
            result.signInExpired = token.signInExpired;
            result.error = signInFailureMessage(token);
            return result;
        }
        ts.accessToken = token.token;
        const AccountRecord account = job.account;
        const QString settingsFile = job.transport.settingsFile;
        const QString caFile = ts.extraCaFile;
        ts.renewToken = [account, settingsFile, caFile] { return freshAccessToken(account, settingsFile, caFile); };
    }
    if (job.options.control && job.options.control->stopped()) {
        result.failure = InboxFailure::Stopped;
        return result;
    }
    AddressDb db;
    QString error;
    if (!db.open(job.databasePath, job.createDatabase, &error)) {
        result.failure = InboxFailure::NoDatabase;
        result.error = job.databasePath + QStringLiteral(": ") + error;
        return result;
    }
    return readInbox(ts, db, job.options, onEntry);
}
