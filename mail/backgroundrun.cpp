#include "backgroundrun.h"

#include <QThread>

// The run's inputs as copied at its start; its progress as signals of the
// BackgroundRun, which the receivers get queued on their own thread.
class BackgroundRun::Source : public SendRunSource {
public:
    Source(BackgroundRun &run, const RunInputs &inputs) : m_run(run), m_inputs(inputs) {}
    QString subject() override { return m_inputs.subject; }
    QString bodyText() override { return m_inputs.bodyText; }
    QString attachmentText() override { return m_inputs.attachmentText; }
    bool nameBlockOn() override { return m_inputs.nameBlock; }
    bool honorificOn() override { return m_inputs.honorific; }
    void setProgressMaximum(qsizetype maximum) override { m_maximum = maximum; }
    void setProgress(qsizetype value) override { emit m_run.progress(value, m_maximum); }
    bool pause(qint64 ms, const QString &what) override
    {
        emit m_run.waiting(ms, what);
        return true;
    }

private:
    BackgroundRun &m_run;
    const RunInputs m_inputs;
    qsizetype m_maximum = 0;
};

BackgroundRun::BackgroundRun(const AccountRecord &account, const RecipientRows &list, const RunInputs &inputs,
                             SendRunEnvironment env, QObject *parent)
    : QObject(parent), m_account(account), m_env(std::move(env)), m_source(std::make_unique<Source>(*this, inputs))
{
    m_list.setRows(list);
    m_env.control = &m_control;
}

BackgroundRun::~BackgroundRun()
{
    if (m_thread) {
        m_control.stopNow();
        m_thread->wait();
        delete m_thread;
    }
}

void BackgroundRun::start()
{
    m_thread = QThread::create([this] {
        try {
            m_result = runSend(m_account, m_list, *m_source, m_env);
        } catch (...) {
            m_result = SendRunResult();
            m_result.outcome = SendRunResult::Outcome::Failed;
        }
    });
    connect(m_thread, &QThread::finished, this, &BackgroundRun::finished, Qt::QueuedConnection);
    m_thread->start();
}

bool BackgroundRun::isRunning() const
{
    return m_thread && m_thread->isRunning();
}

void BackgroundRun::requestStop()
{
    m_control.requestStop();
}

void BackgroundRun::stopNow()
{
    m_control.stopNow();
}
