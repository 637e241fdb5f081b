#pragma once

#include <QFuture>
#include <QPromise>
#include <QThread>

#include <functional>
#include <type_traits>

namespace velmora::platform {

// Work that must yield to whatever the user is doing (the warm-up, hashing a
// model) runs on a thread of its own at the lowest priority (nice 19), never on
// a shared pool thread: a pool thread would keep the priority for the next job,
// it cannot be raised again without privileges, and every child it spawns
// would inherit it. Nice 19 rather than the idle class: a busy machine slows
// such work down to a trickle but never stops it, so the model check still ends.
namespace BackgroundThread {

inline constexpr int backgroundNiceValue = 19;

// Lowers the calling thread to the background priority; false if the system refused.
bool lowerCurrentThreadPriority();
// The calling thread's nice value.
int currentNiceValue();

template <typename T>
QFuture<T> run(std::function<T()> work)
{
    QPromise<T> promise;
    // Started here, so a caller waiting on the future waits for the result even before the thread runs.
    promise.start();
    QFuture<T> future = promise.future();
    QThread* thread = QThread::create([promise = std::move(promise), work = std::move(work)]() mutable {
        lowerCurrentThreadPriority();
        if constexpr (std::is_void_v<T>)
            work();
        else
            promise.addResult(work());
        promise.finish();
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return future;
}

} // namespace BackgroundThread

} // namespace velmora::platform
