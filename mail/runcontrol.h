#pragma once
// How another thread (the window's) stops a run: after the message in
// flight, or at once, closing the connection. The run's waits (pacing, a
// retry) end as soon as a stop is asked for.

#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <mutex>

class MailTransport;

class RunControl {
public:
    // Stop after the message in flight.
    void requestStop();
    // Stop now: the connection is closed; a message whose end had gone is
    // uncertain.
    void stopNow();
    bool stopRequested() const { return m_stop; }
    bool stoppedNow() const { return m_now; }

    // Waits ms, or less when a stop is asked for; false then.
    bool wait(qint64 ms);

    // The transport stopNow() closes; the run sets it while it has one.
    void setTransport(MailTransport *transport);

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_now{false};
    std::mutex m_lock;
    std::condition_variable m_changed;
    MailTransport *m_transport = nullptr;
};
