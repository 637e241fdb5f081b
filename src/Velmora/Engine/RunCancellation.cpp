#include "RunCancellation.h"

namespace velmora {

void RunCancellation::cancel()
{
    std::function<void()> stop;
    {
        std::lock_guard guard(m_lock);
        if (m_cancelled)
            return;
        m_cancelled = true;
        stop = std::move(m_stop);
        m_stop = {};
    }
    if (stop)
        stop();
}

bool RunCancellation::isCancelled() const
{
    std::lock_guard guard(m_lock);
    return m_cancelled;
}

bool RunCancellation::bind(std::function<void()> stop)
{
    std::lock_guard guard(m_lock);
    if (m_cancelled)
        return false;
    m_stop = std::move(stop);
    return true;
}

void RunCancellation::unbind()
{
    std::lock_guard guard(m_lock);
    m_stop = {};
}

} // namespace velmora
