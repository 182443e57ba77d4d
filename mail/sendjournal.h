#pragma once
// The journal of a run in progress, "SendMail.journal" beside SendMail.Log,
// so a run that ends early (abort, stop, the error trap, the program being
// killed) can be finished exactly: it holds what the run sends, its list,
// and then one line per entry as its outcome arrives ("A n" accepted, "R n"
// refused; "S" where a resumed run starts, "P" where a run stopped between
// two messages). Entries are sent in order, so the entry after the last
// outcome is the one that may have been in flight. Each line goes to the operating
// system as it is written and to the disk at least once a second. A run
// that completes removes its journal.
//
// The file: a JSON object (what is sent), one JSON array per entry [name
// line 1, name line 2, address], then the outcome lines.

#include "sendlist.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>
#include <optional>

struct JournalContent {
    int account = 0;
    QString subject;
    QString bodyText;
    QString attachmentText;
    int nameOption = 0;
    int honorificOption = 0;
};

// A journal read back.
struct JournalState {
    JournalContent content;
    QList<SendList::Entry> entries;
    QList<bool> accepted;     // by entry
    qsizetype uncertain = -1; // the entry that may have been in flight, or -1
    QByteArray digest;        // of the list, to tell it from another list

    qsizetype acceptedCount() const { return accepted.count(true); }
    // Entries not accepted, in order; the uncertain one only when asked for.
    QList<qsizetype> remaining(bool withUncertain) const;
};

class SendJournal {
public:
    ~SendJournal() { close(); }

    static QString pathBeside(const QString &logPath);
    static QByteArray digestOf(const QList<SendList::Entry> &entries);

    // A new journal for a run over the list.
    bool begin(const QString &path, const JournalContent &content, const SendList &list, QString *error);
    // The journal of an interrupted run, continued by a run over part of it.
    bool resume(const QString &path, QString *error);
    // Outcomes by the entry's number in the journal's list.
    bool markAccepted(qsizetype entry);
    bool markRefused(qsizetype entry);
    // The run stopped between two messages: none was in flight.
    bool markStopped();
    // To the disk now (before the run waits a while).
    void sync();
    // The run completed: the journal goes.
    void finish();
    // The run ended early: the journal stays for the next run.
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_file.errorString(); }

private:
    bool writeLine(const QByteArray &line);
    QFile m_file;
    QElapsedTimer m_synced;
};

// nullopt and the reason when the file is missing or can't be read as a
// journal.
std::optional<JournalState> readJournal(const QString &path, QString *error);
// Moves a journal that can't be read out of the way, so it is neither used
// nor lost; the new name.
QString setJournalAside(const QString &path);
