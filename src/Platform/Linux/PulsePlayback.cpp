#include "PulsePlayback.h"

#include <pulse/proplist.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/volume.h>

namespace velmora::platform {

std::unique_ptr<PulsePlayback> PulsePlayback::start(std::shared_ptr<PulseAudioConnection> connection,
                                                    const QString& name, const DecodedSound& sound,
                                                    double linearVolume)
{
    std::unique_ptr<PulsePlayback> playback(new PulsePlayback(connection));
    const bool playing = connection->withLock([&] {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(sound.rate), uint8_t(sound.channels)};
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "event");
        pa_stream* stream = pa_stream_new_with_proplist(connection->context(), name.toUtf8().constData(), &spec, nullptr,
                                                        properties);
        pa_proplist_free(properties);
        if (!stream)
            return false;
        playback->m_stream = stream;
        pa_cvolume volume;
        pa_cvolume_set(&volume, spec.channels, pa_sw_volume_from_linear(linearVolume));
        pa_stream_set_state_callback(stream, [](pa_stream*, void* loop) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
        }, connection->mainloop());
        if (pa_stream_connect_playback(stream, nullptr, nullptr, PA_STREAM_NOFLAGS, &volume, nullptr) < 0)
            return false;
        while (pa_stream_get_state(stream) == PA_STREAM_CREATING)
            pa_threaded_mainloop_wait(connection->mainloop());
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        if (pa_stream_get_state(stream) != PA_STREAM_READY)
            return false;
        pa_stream_write(stream, sound.samples.data(), sound.samples.size() * sizeof(short), nullptr, 0,
                        PA_SEEK_RELATIVE);
        // Once the server has played it all, the stream goes.
        playback->m_drain = pa_stream_drain(stream, [](pa_stream*, int, void* self) {
            static_cast<PulsePlayback*>(self)->release();
        }, playback.get());
        return true;
    });
    if (!playing)
        return nullptr;
    return playback;
}

PulsePlayback::~PulsePlayback()
{
    stop();
}

void PulsePlayback::release()
{
    if (m_drain) {
        // A cancelled drain never calls back, so `this` may go after this.
        pa_operation_cancel(m_drain);
        pa_operation_unref(m_drain);
        m_drain = nullptr;
    }
    if (m_stream) {
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
            pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
}

void PulsePlayback::stop()
{
    m_connection->withLock([this] { release(); });
}

} // namespace velmora::platform
