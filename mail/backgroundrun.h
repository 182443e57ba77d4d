#pragma once
// A send run on a thread of its own, so the window that starts it stays
// alive: it takes copies of everything it sends (the account, the list, the
// message), reports progress and waits through queued signals, and is
// stopped after the message in flight, or at once.

#include "account.h"
#include "runcontrol.h"
#include "sendlist.h"
#include "sendrun.h"

#include <QObject>
#include <memory>

class QThread;

// The message of a run as the face had it when the run started.
struct RunInputs {
    QString subject;
    QString bodyText;
    QString attachmentText;
    bool nameBlock = false; // each body opens with the entry's name lines
    bool honorific = true;  // 様 follows the name
};

class BackgroundRun : public QObject {
    Q_OBJECT
public:
    BackgroundRun(const AccountRecord &account, const RecipientRows &list, const RunInputs &inputs,
                  SendRunEnvironment env, QObject *parent = nullptr);
    ~BackgroundRun() override;

    void start();
    bool isRunning() const;
    // After the message in flight.
    void requestStop();
    // Closes the connection at once; a message whose end had gone is
    // uncertain.
    void stopNow();
    bool stopRequested() const { return m_control.stopRequested(); }

    // Once finished: the outcome, and the list as the run left it.
    const SendRunResult &result() const { return m_result; }
    const RecipientRows &listAfter() const { return m_list.rows(); }

signals:
    // Entry `value` of `maximum` is on its way.
    void progress(qsizetype value, qsizetype maximum);
    // The run waits ms before going on (pacing, a retry), for `what`.
    void waiting(qint64 ms, const QString &what);
    void finished();

private:
    class Source;
    AccountRecord m_account;
    SendList m_list;
    SendRunEnvironment m_env;
    RunControl m_control;
    std::unique_ptr<Source> m_source;
    SendRunResult m_result;
    QThread *m_thread = nullptr;
};
