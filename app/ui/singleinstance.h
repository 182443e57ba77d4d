#pragma once
// One window at a time: the program holds "Quillpost.lock" in its data
// folder while its window is open. A second start asks the first window to
// come to the front (through a local socket named after the folder) and
// ends.

#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>

class Platform;
class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString &dataFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // False when another copy holds the lock.
    bool tryLock();
    // The first copy: `raise` runs when a second copy starts.
    void listen(std::function<void()> raise);
    // The second copy: asks the first to come to the front; false when it
    // did not answer.
    bool askFirstToRaise();

private:
    QString serverName() const;
    QString m_folder;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
    std::function<void()> m_raise;
};

// At a start: true when another copy's window is open; its window is asked
// to come to the front and the user is told. The caller then ends.
bool refuseSecondStart(Platform &platform, SingleInstance &instance);
