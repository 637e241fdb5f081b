#include "PulseAudioConnection.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

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
        return errorFrom(error);
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
