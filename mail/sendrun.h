#pragma once
// The send run without its window: the checks, the personalised body, the
// account's way to its servers, and the loop over the send list that writes
// SendMail.Log. The main window and the send command drive it and show its
// outcome.

#include "mailtransport.h"
#include "outgoing.h"
#include "sendlist.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

struct AccountRecord;
class SettingsStore;

// What the account does not say about reaching its servers.
struct TransportOptions {
    int timeoutSeconds = 0; // 0: RFC 5321's limits; otherwise no wait longer
    QString extraCaFile;    // in place of the account's: a company's own CA, trusted beside the system's
    // Where a connection leaves a certificate it did not trust, for the
    // face to show.
    std::shared_ptr<UntrustedCertificateSink> untrustedCertificates;
    // The settings file the account's OAuth 2.0 sign-in is kept in ("": the
    // user's own).
    QString settingsFile{};
};

// The account's server, ports (the SMTP port whether SMTP AUTH is on or
// off) and their security (automatic: TLS from the start on 465 and 995,
// STARTTLS where offered on others), login, whether its password may
// travel in clear, and the certificates it trusts.
TransportSettings transportSettings(const AccountRecord &account, const TransportOptions &options = {});

// The server's largest message as the profile's connection test stored it;
// 0 when unknown.
qint64 storedSizeLimit(const SettingsStore &store, int profile);

// The checks before anything is sent, in their order.
enum class SendCheck { Ok, Account, EmptyList, EmptySubject, EmptyBody };
SendCheck checkSendRun(const AccountRecord &account, qsizetype listCount, const QString &subject,
                       const QString &bodyText);
// What the user is told when a check stops the run ("" for Ok).
QString sendCheckMessage(SendCheck check);

// What the run reads from its face (the window or the command line) and how
// it shows progress.
class SendRunSource {
public:
    virtual ~SendRunSource() = default;
    virtual QString subject() = 0;
    virtual QString bodyText() = 0;
    virtual QString attachmentText() = 0;
    virtual bool nameBlockOn() = 0; // Check1: each body opens with the name lines
    virtual bool honorificOn() = 0; // Check2 off: 様 follows the name
    virtual void setProgressMaximum(qsizetype maximum) = 0;
    virtual void setProgress(qsizetype value) = 0;
    // The user asked to stop after the message in flight (besides the run's
    // RunControl).
    virtual bool stopRequested() { return false; }
    // The run is about to wait ms (before a message tried again, or to keep
    // the pace): the face may show it, or wait itself, keeping alive, and
    // return false when the user stopped meanwhile. The run waits whatever
    // is left of ms afterwards.
    virtual bool pause(qint64 ms, const QString &what);
};

// What the face's values and the account make of every message of a run.
// The account's unsubscribe secret from settingsFile ("": the user's own store).
OutgoingContent outgoingContent(const AccountRecord &account, SendRunSource &source, const QString &settingsFile = {});

struct SendRunResult {
    enum class Outcome {
        Completed, // every entry tried; list emptied
        // Nothing sent; text = the message. Nothing connected and the log
        // untouched, unless the server's own size limit (SIZE) stopped the
        // first message: then the log holds what came before it.
        PreflightFailed,
        PopLoginFailed, // log untouched; text = the POP result as text
        Aborted,        // connection or login failure; text = the transport's text
        Failed,         // log, journal or list failure; text = what went wrong
        Stopped,        // the user stopped it; the list keeps the entries not accepted
        Busy,           // another run holds the log; text = who
        SignInFailed,   // no access token for the OAuth 2.0 account; log untouched; text = why
    };
    Outcome outcome = Outcome::Failed;
    qint32 accepted = 0;
    qsizetype remaining = 0; // entries left in the list after a stop
    QString text;
    // Entries whose message went and whose reply never came: they may have
    // arrived. The journal keeps them for the next run to ask about.
    QList<SendList::Entry> uncertain;
    // SignInFailed: the sign-in is gone (expired, revoked): sign in again.
    bool signInExpired = false;
    // Entries the face left out because their address is suppressed.
    qsizetype suppressed = 0;
};

// What the user is told when an OAuth 2.0 account has no access token.
QString signInFailureMessage(const AccessToken &token);
// True for a run's or a test message's failure text that a new sign-in
// mends: the sign-in expired, or the server refused the token.
bool needsNewSignIn(const QString &text);

// What the user is told at the end of a run.
QString sendOutcomeMessage(const SendRunResult &result);

class RunControl;

struct SendRunEnvironment {
    QString logPath; // "": no log (a dry run)
    // The face took the run lock of the log already (RunLock), to look at
    // the journal first; otherwise the run takes it.
    bool lockHeld = false;
    // How the face stops the run; the run has its own when not set.
    RunControl *control = nullptr;
    std::function<QDateTime()> now;
    TransportOptions transport;
    // The run's transport; a CurlTransport when not set.
    std::function<std::unique_ptr<MailTransport>(const TransportSettings &)> makeTransport;
    // The journal of the run ("": none). With journalIndex the run continues
    // the journal of an interrupted run: list entry k is its entry
    // journalIndex[k].
    QString journalPath;
    QList<qsizetype> journalIndex;
    // A fresh access token for an OAuth 2.0 account, before the run connects
    // and once more if the server refuses it; freshAccessToken() when not set.
    std::function<AccessToken(const AccountRecord &)> accessToken{};
    // Waits before a message refused for the time being is tried again.
    QList<qint64> retryWaitsMs = {2000, 10000, 30000};
    // The largest message the server takes, as the account's connection
    // test found it (0: unknown): a run over it stops before connecting.
    qint64 sizeLimit = 0;
    // Entries the face left out of the list because their address is
    // suppressed, for the closing message.
    qsizetype suppressedLeftOut = 0;
};

// The message of one entry, sent once to the account's own address with
// "[テスト] " before the subject, through the run's transport (after POP
// before SMTP where the account asks for it). Neither the log nor the list
// is touched. "" when the server accepted it, otherwise why not.
QString sendTestMessage(const AccountRecord &account, OutgoingContent content, const SendList::Entry &entry,
                        const SendRunEnvironment &env);

// Steps from the honorific on: the run lock, the pre-flight check, POP
// before SMTP, the journal, the log, one message per entry. A completed run
// empties the list; any other outcome keeps it. A journal that still has
// entries to send is never overwritten: that run fails.
SendRunResult runSend(const AccountRecord &account, SendList &list, SendRunSource &source,
                      const SendRunEnvironment &env);
