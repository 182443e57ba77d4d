#include "runlock.h"

#include <QFileInfo>

RunLock::RunLock(const QString &logPath) : m_logPath(logPath), m_lock(std::make_unique<QLockFile>(pathFor(logPath)))
{
    // A run may last for hours: only a lock whose process has gone is stale.
    m_lock->setStaleLockTime(0);
}

RunLock::~RunLock() = default;

QString RunLock::pathFor(const QString &logPath)
{
    return logPath + QStringLiteral(".lock");
}

bool RunLock::tryLock()
{
    m_holderPid = 0;
    m_holderSince = {};
    m_error.clear();
    if (m_lock->tryLock(0))
        return true;
    const QString name = QFileInfo(m_logPath).fileName();
    QString host, app;
    if (m_lock->error() == QLockFile::LockFailedError && m_lock->getLockInfo(&m_holderPid, &host, &app)) {
        m_holderSince = QFileInfo(pathFor(m_logPath)).lastModified();
        m_error = QStringLiteral("another run is using %1 (PID %2)").arg(name).arg(m_holderPid);
    } else {
        m_error = QStringLiteral("%1 can't be locked (%2)").arg(name, pathFor(m_logPath));
    }
    return false;
}

bool RunLock::isLocked() const
{
    return m_lock->isLocked();
}

void RunLock::unlock()
{
    m_lock->unlock();
}
