#include "singleinstance.h"

#include "apptitle.h"
#include "platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace {
constexpr int kAnswerMs = 2000;
}

SingleInstance::SingleInstance(const QString &dataFolder, QObject *parent)
    : QObject(parent), m_folder(dataFolder), m_lock(QDir(dataFolder).filePath(QStringLiteral("Quillpost.lock")))
{
    // The window may stay open for days: only a lock whose process has gone
    // is stale.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName() const
{
    const QByteArray key = QDir(m_folder).absolutePath().toUtf8() + '/' + QByteArray::number(::getuid());
    return QStringLiteral("quillpost-")
           + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
}

bool SingleInstance::tryLock()
{
    QDir().mkpath(m_folder);
    return m_lock.tryLock(0);
}

void SingleInstance::listen(std::function<void()> raise)
{
    m_raise = std::move(raise);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a copy that was killed is in the way; this copy holds
    // the lock, so it is no one's.
    if (!m_server->listen(serverName())) {
        QLocalServer::removeServer(serverName());
        m_server->listen(serverName());
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            s->write("ok");
            s->flush();
            s->disconnectFromServer();
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            if (m_raise)
                m_raise();
        }
    });
}

bool SingleInstance::askFirstToRaise()
{
    QLocalSocket s;
    s.connectToServer(serverName());
    return s.waitForConnected(kAnswerMs) && s.waitForReadyRead(kAnswerMs);
}

bool refuseSecondStart(Platform &platform, SingleInstance &instance)
{
    if (instance.tryLock())
        return false;
    instance.askFirstToRaise();
    platform.messageBox(nullptr, QStringLiteral("Quillpost はすでに起動しています。"), appTitle(), MsgIcon::Information,
                        MsgButtons::Ok);
    return true;
}
