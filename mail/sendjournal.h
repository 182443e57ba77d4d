#pragma once
// The journal of a run in progress, "SendMail.journal" beside SendMail.Log:
// the truth about each entry of the run's list, so a run that ends early
// (abort, stop, the error trap, a kill, a power cut) is finished exactly.
//
// The file: a JSON object (what is sent), one JSON array per entry [name
// line 1, name line 2, address], then one line per event, each ending in a
// check of its own text:
//   D n   the data of entry n is about to be handed to the connection
//   A n   entry n was accepted          R n  refused for good
//   T n   refused for now, not delivered (it may be tried again)
//   K n   the user chose not to send the uncertain entry n again
//   W n B the run hands over no entry after n until the next W line; this
//         line is on the disk before any entry it covers goes (B: boot id)
//   S     a resumed run starts
// An entry with a D line and no outcome after it is uncertain: it may have
// reached the server. Nothing else is. After a restart of the machine the
// lines written since the last W may be lost, so every entry the last W
// covered that has no outcome on the disk is uncertain too.

#include "sendlist.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct JournalContent {
    int account = 0;
    QString subject;
    QString bodyText;
    QString attachmentText;
    bool nameBlock = false;
    bool honorific = true;
};

// A journal read back.
struct JournalState {
    enum class Entry : quint8 {
        Open,     // not reached, or refused for now
        InFlight, // handed over, no outcome
        Accepted,
        Refused,
        Kept, // uncertain, and the user chose not to send it again
    };
    JournalContent content;
    QList<SendList::Entry> entries;
    QList<Entry> state;
    QList<qsizetype> uncertain; // entries that may have reached the server, in order
    QStringList damaged;        // lines ignored: cut off or failing their check
    QByteArray digest;          // of the list, to tell it from another list

    qsizetype acceptedCount() const { return state.count(Entry::Accepted); }
    bool isUncertain(qsizetype entry) const { return uncertain.contains(entry); }
    // Entries still to send, in order; the uncertain ones only when asked for.
    QList<qsizetype> remaining(bool withUncertain) const;
    // Anything left to send or to decide.
    bool pending() const { return !remaining(true).isEmpty(); }
};

// The entries left after a run: the numbers of those not `done`, in order.
QList<qsizetype> entriesLeft(const QList<bool> &done);

class SendJournal {
public:
    SendJournal() = default;
    ~SendJournal() { close(); }
    SendJournal(const SendJournal &) = delete;
    SendJournal &operator=(const SendJournal &) = delete;

    static QString pathBeside(const QString &logPath);
    static QByteArray digestOf(const QList<SendList::Entry> &entries);
    // The machine's boot id: lines from an earlier boot may not all have
    // reached the disk.
    static QByteArray currentBootId();

    // A new journal for a run over the list.
    bool begin(const QString &path, const JournalContent &content, const SendList &list, QString *error);
    // The journal of an interrupted run, continued by a run over part of it.
    bool resume(const QString &path, QString *error);
    // Events by the entry's number in the journal's list; false (and
    // errorString()) when the line could not be written or synced.
    bool markData(qsizetype entry);
    bool markAccepted(qsizetype entry);
    bool markRefused(qsizetype entry);
    bool markNotSent(qsizetype entry);
    // To the disk now (before the run waits a while).
    bool sync();
    // Nothing is left to send: the journal goes.
    void finish();
    // The run ended early: the journal stays for the next run.
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_error; }

    // The user's answer for uncertain entries of a journal not in use by a
    // run: they are not sent again.
    static bool markKept(const QString &path, const QList<qsizetype> &entries, QString *error);

    // How many entries one W line covers.
    static constexpr qsizetype kLease = 64;

private:
    bool writeLine(const QByteArray &text);
    bool mark(char kind, qsizetype entry);
    QFile m_file;
    QString m_error;
    qsizetype m_leaseEnd = -1;
};

// nullopt and the reason when the file is missing or can't be read as a
// journal. bootId is the machine's (currentBootId() unless a test says).
std::optional<JournalState> readJournal(const QString &path, QString *error, const QByteArray &bootId = {});
// Moves a journal that can't be read out of the way, so it is neither used
// nor lost; the new name, or "" when it could not be moved (error set).
QString setJournalAside(const QString &path, QString *error = nullptr);
