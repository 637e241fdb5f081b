#pragma once

#include <functional>
#include <mutex>

namespace velmora {

// Stops one run of a tool, whether the run has begun or is still waiting its turn.
// The dictation that asked for the run holds it; the worker binds the tool's stop.
// Safe from any thread.
class RunCancellation {
public:
    // Idempotent; stops the bound tool, and a run not yet begun never begins.
    void cancel();
    bool isCancelled() const;
    // Hands over how to stop the running tool. False, and nothing kept, when the
    // run was cancelled already: the caller stops the tool itself.
    [[nodiscard]] bool bind(std::function<void()> stop);
    void unbind();

private:
    mutable std::mutex m_lock;
    bool m_cancelled = false;
    std::function<void()> m_stop;
};

} // namespace velmora
