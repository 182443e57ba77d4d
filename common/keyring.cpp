#include "keyring.h"

#include "apptitle.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
#include <qt6keychain/keychain.h>

namespace keyring {

namespace {

// A desktop keyring may ask the user to unlock it: give them time, but not
// for ever.
constexpr int kAnswerMs = 120 * 1000;

// Runs a job and waits for it on a loop of its own that takes no input, so
// the window below can't be used meanwhile.
Result run(QKeychain::Job *job)
{
    job->setAutoDelete(false);
    std::unique_ptr<QKeychain::Job> owner(job);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool answered = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        answered = true;
        loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(kAnswerMs);
    job->start();
    if (!answered)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    Result r;
    if (!answered) {
        r.error = QStringLiteral("the secret store did not answer");
        // The job may still finish later; it must not find its loop gone.
        QObject::disconnect(job, nullptr, &loop, nullptr);
        owner.release()->setAutoDelete(true);
        return r;
    }
    switch (job->error()) {
    case QKeychain::NoError: r.status = Status::Ok; break;
    case QKeychain::EntryNotFound: r.status = Status::NotFound; break;
    default: r.error = job->errorString(); break;
    }
    if (r.status == Status::Ok)
        if (auto *reader = qobject_cast<QKeychain::ReadPasswordJob *>(job))
            r.value = reader->textData();
    return r;
}

// QtKeychain runs its jobs one at a time on the application's thread; a
// job made on another thread (a send run's) is made and waited for there.
Result runOnAppThread(const std::function<QKeychain::Job *()> &make)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return run(make());
    Result r;
    QMetaObject::invokeMethod(
        app, [&] { r = run(make()); }, Qt::BlockingQueuedConnection);
    return r;
}

} // namespace

Result read(const QString &key)
{
    return runOnAppThread([&] {
        auto *job = new QKeychain::ReadPasswordJob(appTitle());
        job->setKey(key);
        return job;
    });
}

Result write(const QString &key, const QString &value)
{
    if (value.isEmpty())
        return remove(key);
    return runOnAppThread([&] {
        auto *job = new QKeychain::WritePasswordJob(appTitle());
        job->setKey(key);
        job->setTextData(value);
        return job;
    });
}

Result remove(const QString &key)
{
    Result r = runOnAppThread([&] {
        auto *job = new QKeychain::DeletePasswordJob(appTitle());
        job->setKey(key);
        return job;
    });
    // Nothing to remove is as good as removed.
    if (r.status == Status::NotFound)
        r.status = Status::Ok;
    return r;
}

bool available()
{
    static std::once_flag once;
    static bool answers = false;
    std::call_once(once, [] { answers = read(QStringLiteral("probe")).status != Status::Unavailable; });
    return answers;
}

} // namespace keyring
