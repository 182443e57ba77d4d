#pragma once
// The lock a run holds on its log and journal for its whole length, so two
// runs (two windows, a window and a scheduled command) never share them: a
// lock file beside the log ("SendMail.Log.lock") with the owner's process id;
// the lock of a process that no longer runs is taken over.

#include <QDateTime>
#include <QLockFile>
#include <QString>
#include <memory>

class RunLock {
public:
    explicit RunLock(const QString &logPath);
    ~RunLock();
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

    static QString pathFor(const QString &logPath);

    // False when a live process holds it (or it can't be made); see
    // holder() and errorText().
    bool tryLock();
    bool isLocked() const;
    void unlock();

    // The process that holds it, when tryLock() failed for that reason (0
    // otherwise), and since when.
    qint64 holderPid() const { return m_holderPid; }
    QDateTime holderSince() const { return m_holderSince; }
    // "another run is using SendMail.Log (PID n)", or why the lock could not
    // be made.
    QString errorText() const { return m_error; }

private:
    QString m_logPath;
    std::unique_ptr<QLockFile> m_lock;
    qint64 m_holderPid = 0;
    QDateTime m_holderSince;
    QString m_error;
};
