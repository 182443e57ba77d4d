#include "runcontrol.h"

#include "mailtransport.h"

#include <chrono>

void RunControl::requestStop()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_stop = true;
    m_changed.notify_all();
}

void RunControl::stopNow()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_stop = true;
    m_now = true;
    if (m_transport)
        m_transport->abort();
    m_changed.notify_all();
}

bool RunControl::wait(qint64 ms)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (ms > 0)
        m_changed.wait_for(guard, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
    return !m_stop;
}

void RunControl::setTransport(MailTransport *transport)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_transport = transport;
    if (m_now && transport)
        transport->abort();
}
