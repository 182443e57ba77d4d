#pragma once
// A short job (a test message, a connection test) on a thread of its own
// while the window waits for it alive: it paints, and takes no input until the job
// is done (input meanwhile is dropped, not replayed).

#include <QEventLoop>
#include <QThread>
#include <QWidget>
#include <functional>

template <class T> T waitOffThread(QWidget *window, std::function<T()> work)
{
    T result{};
    QThread *thread = QThread::create([&] { result = work(); });
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    const bool wasEnabled = window->isEnabled();
    window->setEnabled(false);
    thread->start();
    loop.exec();
    thread->wait();
    delete thread;
    window->setEnabled(wasEnabled);
    return result;
}
