#include "PulseRecorder.h"

#include <QFile>

#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <sndfile.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace velmora::platform {

std::variant<std::unique_ptr<PulseRecorder>, SoundServerError> PulseRecorder::start(std::shared_ptr<PulseAudioConnection> connection,
                                                                       const std::optional<QString>& sourceName,
                                                                       const QString& filePath)
{
    // Recordings hold speech: private from the first byte.
    const int fd = ::open(QFile::encodeName(filePath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return SoundServerError::fileFailed;
    SF_INFO format{};
    format.samplerate = 16000;
    format.channels = 1;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &format, SF_TRUE);
    if (!file) {
        ::close(fd);
        return SoundServerError::fileFailed;
    }
    std::unique_ptr<PulseRecorder> recorder(new PulseRecorder(connection, file));
    int error = 0;
    connection->withLock([&] {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, 16000, 1};
        recorder->m_stream = pa_stream_new(connection->context(), "Velmora dictation", &spec, nullptr);
        if (!recorder->m_stream) {
            error = pa_context_errno(connection->context());
            return;
        }
        pa_stream_set_state_callback(recorder->m_stream, [](pa_stream*, void* loop) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
        }, connection->mainloop());
        pa_stream_set_read_callback(recorder->m_stream, &PulseRecorder::onRead, recorder.get());
        // Small fragments: the first word must not wait in a large buffer, nor be lost.
        pa_buffer_attr attributes{};
        attributes.maxlength = uint32_t(-1);
        attributes.fragsize = 320 * 2; // 20 ms
        const QByteArray source = sourceName ? sourceName->toUtf8() : QByteArray();
        if (pa_stream_connect_record(recorder->m_stream, sourceName ? source.constData() : nullptr, &attributes,
                                     PA_STREAM_ADJUST_LATENCY) < 0) {
            error = pa_context_errno(connection->context());
            return;
        }
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(recorder->m_stream);
            if (state == PA_STREAM_READY)
                return;
            if (!PA_STREAM_IS_GOOD(state)) {
                error = pa_context_errno(connection->context());
                if (error == 0)
                    error = PA_ERR_UNKNOWN;
                return;
            }
            pa_threaded_mainloop_wait(connection->mainloop());
        }
    });
    if (error != 0) {
        recorder->stop();
        QFile::remove(filePath);
        return PulseAudioConnection::errorFrom(error);
    }
    return recorder;
}

void PulseRecorder::onRead(pa_stream* stream, size_t, void* self)
{
    auto* recorder = static_cast<PulseRecorder*>(self);
    const void* data = nullptr;
    size_t length = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &length) == 0 && length > 0) {
        const sf_count_t frames = sf_count_t(length / 2);
        if (data)
            recorder->m_frames += sf_write_short(recorder->m_file, static_cast<const short*>(data), frames);
        else {
            // A hole in the stream: keep the timeline with silence.
            std::vector<short> silence(size_t(frames), 0);
            recorder->m_frames += sf_write_short(recorder->m_file, silence.data(), frames);
        }
        pa_stream_drop(stream);
    }
}

void PulseRecorder::stop()
{
    if (m_stream) {
        m_connection->withLock([&] {
            pa_stream_set_read_callback(m_stream, nullptr, nullptr);
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
                pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        });
        m_stream = nullptr;
    }
    if (m_file) {
        sf_close(m_file); // writes the final header
        m_file = nullptr;
    }
}

qint64 PulseRecorder::framesWritten() const
{
    return m_connection->withLock([&] { return m_frames; });
}

PulseRecorder::~PulseRecorder()
{
    stop();
}

} // namespace velmora::platform
