#pragma once

#include "PulseSources.h"

#include <QList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace velmora::platform {

// Follows the sound server's input list from a thread of its own: connects,
// lists the sources, lists again after every source event, and when the
// server goes away (a restart, an upgrade) or is not up yet (login), connects
// again after a bounded back-off. Callbacks run on the watcher's thread; none
// runs after the destructor returns.
class PulseSourceWatcher {
public:
    struct Timing {
        std::chrono::milliseconds firstRetry{250};
        std::chrono::milliseconds longestRetry{5000};
    };
    struct Callbacks {
        std::function<void(const QList<PulseSource>&)> sourcesListed;
        // False when the connection is lost or could not be made.
        std::function<void(bool connected)> connectionChanged;
    };

    PulseSourceWatcher(Callbacks callbacks, Timing timing);
    ~PulseSourceWatcher();
    PulseSourceWatcher(const PulseSourceWatcher&) = delete;
    PulseSourceWatcher& operator=(const PulseSourceWatcher&) = delete;

private:
    void run();
    // Waits for a change, the end, or the timeout; true when stopping.
    bool waitForWork(std::chrono::milliseconds limit);

    Callbacks m_callbacks;
    Timing m_timing;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_listAgain = false;
    bool m_lost = false;
    // The current connection's loop, for the library's callbacks.
    pa_threaded_mainloop* m_loop = nullptr;
    std::thread m_thread;
};

} // namespace velmora::platform
