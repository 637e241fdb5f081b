#include "PulseSourceWatcher.h"

#include "Platform/LogCategories.h"

#include <pulse/context.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

namespace velmora::platform {

PulseSourceWatcher::PulseSourceWatcher(Callbacks callbacks, Timing timing)
    : m_callbacks(std::move(callbacks))
    , m_timing(timing)
{
    m_thread = std::thread([this] { run(); });
}

PulseSourceWatcher::~PulseSourceWatcher()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool PulseSourceWatcher::waitForWork(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, limit, [this] { return m_stopping || m_listAgain || m_lost; });
    return m_stopping;
}

void PulseSourceWatcher::run()
{
    auto retry = m_timing.firstRetry;
    bool reportedDown = false;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            m_lost = false;
            m_listAgain = true;
        }
        auto made = PulseAudioConnection::connect(QStringLiteral("Velmora"));
        if (std::holds_alternative<SoundServerError>(made)) {
            if (!reportedDown) {
                qCWarning(velmora::logging::audioDevices) << "no sound server connection; trying again";
                reportedDown = true;
                if (m_callbacks.connectionChanged)
                    m_callbacks.connectionChanged(false);
            }
            {
                std::unique_lock lock(m_mutex);
                if (m_wake.wait_for(lock, retry, [this] { return m_stopping; }))
                    return;
            }
            retry = std::min(retry * 2, m_timing.longestRetry);
            continue;
        }
        auto connection = std::get<std::shared_ptr<PulseAudioConnection>>(made);
        reportedDown = false;
        retry = m_timing.firstRetry;
        // The library calls these on its own thread; they only wake ours.
        connection->withLock([&] {
            m_loop = connection->mainloop();
            pa_context_set_state_callback(connection->context(), [](pa_context* context, void* self) {
                auto* watcher = static_cast<PulseSourceWatcher*>(self);
                // A query waiting on the loop must see the end too.
                pa_threaded_mainloop_signal(watcher->m_loop, 0);
                if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
                    return;
                {
                    std::lock_guard lock(watcher->m_mutex);
                    watcher->m_lost = true;
                }
                watcher->m_wake.notify_all();
            }, this);
            pa_context_set_subscribe_callback(
                connection->context(),
                [](pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
                    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SOURCE)
                        return;
                    auto* watcher = static_cast<PulseSourceWatcher*>(self);
                    {
                        std::lock_guard lock(watcher->m_mutex);
                        watcher->m_listAgain = true;
                    }
                    watcher->m_wake.notify_all();
                },
                this);
            pa_operation_unref(pa_context_subscribe(connection->context(), PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr));
        });
        if (m_callbacks.connectionChanged)
            m_callbacks.connectionChanged(true);

        for (;;) {
            bool list = false;
            bool lost = false;
            {
                std::lock_guard lock(m_mutex);
                if (m_stopping)
                    break;
                list = std::exchange(m_listAgain, false);
                lost = m_lost;
            }
            if (lost)
                break;
            if (list && m_callbacks.sourcesListed)
                m_callbacks.sourcesListed(PulseSources::list(*connection));
            if (waitForWork(std::chrono::hours(1)))
                break;
        }

        // No library callback may reach `this` once the connection is gone.
        connection->withLock([&] {
            pa_context_set_state_callback(connection->context(), nullptr, nullptr);
            pa_context_set_subscribe_callback(connection->context(), nullptr, nullptr);
        });
        connection.reset();
        bool stopping = false;
        {
            std::lock_guard lock(m_mutex);
            stopping = m_stopping;
        }
        if (stopping)
            return;
        qCWarning(velmora::logging::audioDevices) << "the sound server went away; connecting again";
        reportedDown = true;
        if (m_callbacks.connectionChanged)
            m_callbacks.connectionChanged(false);
        if (m_callbacks.sourcesListed)
            m_callbacks.sourcesListed({});
    }
}

} // namespace velmora::platform
