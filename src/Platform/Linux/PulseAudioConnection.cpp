#include "PulseAudioConnection.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

namespace velmora::platform {

std::variant<std::shared_ptr<PulseAudioConnection>, SoundServerError> PulseAudioConnection::connect(
    const QString& applicationName)
{
    pa_threaded_mainloop* mainloop = pa_threaded_mainloop_new();
    if (!mainloop)
        return SoundServerError::failed;
    pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), applicationName.toUtf8().constData());
    if (!context) {
        pa_threaded_mainloop_free(mainloop);
        return SoundServerError::failed;
    }
    pa_context_set_state_callback(context, [](pa_context*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }, mainloop);

    // From here on the object owns both; its destructor tears them down on every path.
    std::shared_ptr<PulseAudioConnection> connection(new PulseAudioConnection(mainloop, context));
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return errorFrom(pa_context_errno(context));
    if (pa_threaded_mainloop_start(mainloop) < 0)
        return SoundServerError::failed;
    int error = 0;
    bool timedOut = false;
    connection->withLock([&] {
        // A server that takes the socket but never answers must not hold the caller
        // (and whoever joins it) for ever.
        struct Deadline {
            pa_threaded_mainloop* loop;
            bool* timedOut;
        } deadline{mainloop, &timedOut};
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop);
        timeval when{};
        pa_timeval_add(pa_gettimeofday(&when), pa_usec_t(connectLimit.count()) * PA_USEC_PER_MSEC);
        pa_time_event* timer = api->time_new(
            api, &when,
            [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
                auto* d = static_cast<Deadline*>(data);
                *d->timedOut = true;
                pa_threaded_mainloop_signal(d->loop, 0);
            },
            &deadline);
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY)
                break;
            if (!PA_CONTEXT_IS_GOOD(state)) {
                error = pa_context_errno(context);
                break;
            }
            if (timedOut)
                break;
            pa_threaded_mainloop_wait(mainloop);
        }
        api->time_free(timer);
    });
    if (error != 0)
        return errorFrom(error);
    if (timedOut)
        return SoundServerError::failed;
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

void PulseAudioConnection::lock() const
{
    pa_threaded_mainloop_lock(m_mainloop);
}

void PulseAudioConnection::unlock() const
{
    pa_threaded_mainloop_unlock(m_mainloop);
}

SoundServerError PulseAudioConnection::errorFrom(int pulseError)
{
    switch (pulseError) {
    case PA_ERR_CONNECTIONREFUSED: // no server at the socket
    case PA_ERR_INVALIDSERVER:
        return SoundServerError::noServer;
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY:
        return SoundServerError::accessDenied;
    case PA_ERR_NOENTITY:
        return SoundServerError::noSuchSource;
    default:
        return SoundServerError::failed;
    }
}

} // namespace velmora::platform
