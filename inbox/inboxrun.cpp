#include "inboxrun.h"

#include <QThread>

InboxRun::InboxRun(InboxJob job, QObject *parent) : QObject(parent), m_job(std::move(job))
{
    qRegisterMetaType<InboxEntry>("InboxEntry");
    m_job.options.control = &m_control;
    m_job.options.onProgress = [this](int done, int total) { emit progress(done, total); };
}

InboxRun::~InboxRun()
{
    if (m_thread) {
        m_control.stopNow();
        m_thread->wait();
        delete m_thread;
    }
}

void InboxRun::start()
{
    m_thread = QThread::create([this] {
        try {
            m_result = readAccountInbox(m_job, [this](const InboxEntry &e) { emit entry(e); });
        } catch (...) {
            m_result = InboxResult();
            m_result.failure = InboxFailure::Dropped;
            m_result.error = QStringLiteral("unexpected failure while reading the mailbox");
        }
    });
    connect(m_thread, &QThread::finished, this, &InboxRun::finished, Qt::QueuedConnection);
    m_thread->start();
}

bool InboxRun::isRunning() const
{
    return m_thread && m_thread->isRunning();
}

void InboxRun::requestStop()
{
    m_control.requestStop();
}

void InboxRun::stopNow()
{
    m_control.stopNow();
}
