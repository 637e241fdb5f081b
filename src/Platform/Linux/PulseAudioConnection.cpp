#include "PulseAudioConnection.h"

#include <pulse/error.h>
#include <pulse/subscribe.h>

namespace velmora::platform {

std::variant<std::shared_ptr<PulseAudioConnection>, int> PulseAudioConnection::connect(const QString& applicationName)
{
    pa_threaded_mainloop* mainloop = pa_threaded_mainloop_new();
    if (!mainloop)
        return int(PA_ERR_INTERNAL);
    pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), applicationName.toUtf8().constData());
    if (!context) {
        pa_threaded_mainloop_free(mainloop);
        return int(PA_ERR_INTERNAL);
    }
    pa_context_set_state_callback(context, [](pa_context*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }, mainloop);

    // From here on the object owns both; its destructor tears them down on every path.
    std::shared_ptr<PulseAudioConnection> connection(new PulseAudioConnection(mainloop, context));
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return pa_context_errno(context);
    if (pa_threaded_mainloop_start(mainloop) < 0)
        return int(PA_ERR_INTERNAL);
    int error = 0;
    connection->withLock([&] {
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY)
                return;
            if (!PA_CONTEXT_IS_GOOD(state)) {
                error = pa_context_errno(context);
                return;
            }
            pa_threaded_mainloop_wait(mainloop);
        }
    });
    if (error != 0)
        return error;
    return connection;
}

PulseAudioConnection::~PulseAudioConnection()
{
    pa_threaded_mainloop_lock(m_mainloop);
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    pa_threaded_mainloop_unlock(m_mainloop);
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
}

bool PulseAudioConnection::isReady() const
{
    return withLock([this] { return pa_context_get_state(m_context) == PA_CONTEXT_READY; });
}

bool PulseAudioConnection::isRefusal(int error)
{
    return error == PA_ERR_CONNECTIONREFUSED || error == PA_ERR_ACCESS || error == PA_ERR_AUTHKEY;
}

} // namespace velmora::platform
