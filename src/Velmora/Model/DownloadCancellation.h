#pragma once

#include <QMutex>

#include <atomic>
#include <functional>

namespace velmora {

// Shared between the thread that cancels and the thread that downloads. A
// cancel runs the registered hook once, so a transfer in progress stops at once.
class DownloadCancellation {
public:
    void cancel()
    {
        // The hook runs under the lock, so clearing it waits for a run in progress.
        QMutexLocker lock(&m_mutex);
        if (m_cancelled.exchange(true))
            return;
        if (m_hook)
            m_hook();
    }
    bool isCancelled() const { return m_cancelled.load(); }
    // Runs at once when already cancelled.
    void setHook(std::function<void()> hook)
    {
        QMutexLocker lock(&m_mutex);
        m_hook = std::move(hook);
        if (m_cancelled.load() && m_hook)
            m_hook();
    }

private:
    QMutex m_mutex;
    std::atomic<bool> m_cancelled = false;
    std::function<void()> m_hook;
};

} // namespace velmora
