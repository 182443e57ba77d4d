#pragma once
// A mailbox reading on a thread of its own, so the window that starts it
// stays alive: each entry and the progress come as queued signals, and the
// window stops it after the message in hand, or at once.

#include "inboxjob.h"

#include <QObject>
#include <memory>

class QThread;

class InboxRun : public QObject {
    Q_OBJECT
public:
    explicit InboxRun(InboxJob job, QObject *parent = nullptr);
    // Stops at once and waits for the thread.
    ~InboxRun() override;

    void start();
    bool isRunning() const;
    void requestStop();
    void stopNow();
    // Once finished.
    const InboxResult &result() const { return m_result; }

signals:
    void entry(const InboxEntry &entry);
    // Message `done` of `total` new ones has been dealt with.
    void progress(int done, int total);
    void finished();

private:
    InboxJob m_job;
    InboxControl m_control;
    InboxResult m_result;
    QThread *m_thread = nullptr;
};
