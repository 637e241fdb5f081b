#pragma once

#include <QFuture>
#include <QPromise>
#include <QThread>

#include <functional>

namespace velmora::platform {

// Work that must yield to whatever the user is doing (the warm-up, hashing a
// model) runs on a thread of its own in the idle scheduling class, never on a
// shared pool thread: a pool thread would keep the class for the next job, and
// every child it spawns would inherit it.
namespace BackgroundThread {

// Puts the calling thread into SCHED_IDLE; false if the system refused.
bool makeCurrentThreadIdle();
// The calling thread's scheduling policy (SCHED_OTHER, SCHED_IDLE, ...).
int currentPolicy();

template <typename T>
QFuture<T> run(std::function<T()> work)
{
    QPromise<T> promise;
    // Started here, so a caller waiting on the future waits for the result even before the thread runs.
    promise.start();
    QFuture<T> future = promise.future();
    QThread* thread = QThread::create([promise = std::move(promise), work = std::move(work)]() mutable {
        makeCurrentThreadIdle();
        promise.addResult(work());
        promise.finish();
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return future;
}

} // namespace BackgroundThread

} // namespace velmora::platform
