#pragma once

#include "PulseAudioConnection.h"

#include <QString>

struct pa_stream;
struct sf_private_tag;

#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace velmora::platform {

// Records one source at 16 kHz, mono, signed 16-bit into a WAV file (0600)
// as the samples arrive on the sound server's thread.
class PulseRecorder {
public:
    // Started and receiving. Blocks until the stream is ready: call it off the GUI thread.
    [[nodiscard]] static std::variant<std::unique_ptr<PulseRecorder>, SoundServerError> start(std::shared_ptr<PulseAudioConnection> connection,
                                                                   const std::optional<QString>& sourceName,
                                                                   const QString& filePath);
    ~PulseRecorder();

    // Disconnects the stream and closes the file with a complete header. Idempotent.
    void stop();
    qint64 framesWritten() const;

private:
    PulseRecorder(std::shared_ptr<PulseAudioConnection> connection, sf_private_tag* file)
        : m_connection(std::move(connection)), m_file(file) {}
    static void onRead(pa_stream* stream, size_t bytes, void* self);

    std::shared_ptr<PulseAudioConnection> m_connection;
    pa_stream* m_stream = nullptr;
    sf_private_tag* m_file;
    qint64 m_frames = 0;
};

} // namespace velmora::platform
