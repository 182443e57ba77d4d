#pragma once
// Reading one account's mailbox, as the window and the command both do: the
// account's POP3 settings (an OAuth 2.0 account with a fresh access token,
// fetched as a send fetches it), the address file opened on the reading's
// own thread, and where the program keeps what it has read and the CSV of
// suppressions.

#include "account.h"
#include "inboxreader.h"
#include "sendrun.h"

#include <QDate>
#include <QString>

class SettingsStore;

struct InboxJob {
    AccountRecord account;
    // The CA file in place of the account's; the settings file the sign-in
    // is kept in.
    TransportOptions transport;
    QString databasePath;
    bool createDatabase = true; // a missing address file is made empty
    InboxOptions options;
};

// The job for an account of the settings: the address file in use, the
// memory of what was read (InboxSeen.txt beside the settings, one key per
// account and server), the CSV beside SendMail.Log in programFolder, the
// unsubscribe secret. Deleting is off.
InboxJob inboxJobFor(SettingsStore &settings, const AccountRecord &account, const QString &programFolder,
                     const QDate &today);

// Runs the job on the calling thread. Blocking.
InboxResult readAccountInbox(const InboxJob &job, const std::function<void(const InboxEntry &)> &onEntry = {});
