#pragma once
// Reads the account's POP3 mailbox for bounces and unsubscribe requests:
// logs in under the send's TLS rules, lists UIDL, reads each message not
// read before, classifies it and suppresses the addresses it ties to for
// certain. Each message read is remembered at once, so a connection that
// drops half-way loses nothing and reads nothing twice.

#include "mailtransport.h"

#include <QDate>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

class AddressDb;
class CurlConnection;

// How another thread (the window's) stops a reading: after the message in
// hand (what was acted on is still deleted when asked for), or at once,
// shutting the connection so a wait on the server ends. Either way what was
// classified stays so, and the next reading goes on from there.
class InboxControl {
public:
    void requestStop();
    void stopNow();
    bool stopped() const { return m_stopped; }
    // The reader's connection while it has one.
    void setConnection(CurlConnection *connection);

private:
    std::atomic<bool> m_stopped{false};
    std::mutex m_lock;
    bool m_now = false;
    CurlConnection *m_connection = nullptr;
};

struct InboxOptions {
    QString seenFile; // the UIDL already read, one "key<TAB>uidl" a line
    QString seenKey;  // the account and server the mailbox belongs to
    QString csvFile;  // suppressions appended here; "" for none
    QByteArray secret;
    QDate today;
    bool deleteClassified = false;
    qint64 sizeLimit = 30 * 1024 * 1024; // above it only the head is read
    InboxControl *control = nullptr;
    // Message `done` of `total` new ones has been dealt with.
    std::function<void(int done, int total)> onProgress{};
};

struct InboxEntry {
    QString uidl;
    QString address;
    QString reason; // as stored with the suppression, or what the line says
    QString date;
    bool suppressed = false;
};

// Why a reading ended before the mailbox's end.
enum class InboxFailure {
    None,
    SignIn,     // no OAuth 2.0 access token
    Connect,    // the server was not reached, or not safely
    Login,      // it refused the login
    NoDatabase, // the address file could not be opened
    Listing,    // it gave no list of its messages
    Dropped,    // the connection ended half-way
    Database,   // a suppression could not be stored
    SeenFile,   // the memory of what was read could not be written
    Stopped,    // the user stopped it
};

struct InboxResult {
    InboxFailure failure = InboxFailure::None;
    bool signInExpired = false; // SignIn: the user must sign in again
    QString error;              // "" when the mailbox was read to its end; the details otherwise
    int read = 0;
    int bounced = 0;
    int unsubscribed = 0;
    int delayed = 0;
    int undetermined = 0;
    int broken = 0;
    int deleted = 0;
    QList<InboxEntry> entries;
    QString csvError; // the CSV could not be written (the suppressions are stored)
};

// One line of the result ("address  reason  date"), for stdout and the window.
QString inboxEntryText(const InboxEntry &e);
QString inboxCountsText(const InboxResult &r);
// What the user is told when the reading ended early, in Japanese, with the
// details; "" when it did not.
QString inboxFailureText(const InboxResult &r);

InboxResult readInbox(TransportSettings settings, AddressDb &db, const InboxOptions &options,
                      const std::function<void(const InboxEntry &)> &onEntry = {});

// The CSV beside SendMail.Log.
QString inboxCsvPathBeside(const QString &logPath);
