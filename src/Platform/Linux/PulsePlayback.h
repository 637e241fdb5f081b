#pragma once

#include "PulseAudioConnection.h"
#include "SoundFile.h"

#include <QString>

#include <memory>
#include <vector>

struct pa_operation;
struct pa_stream;

namespace velmora::platform {

// One sound played once on the sound server. The stream leaves the server as
// soon as the sound has drained, so the device can idle again; stopping it
// earlier drops it at once.
class PulsePlayback {
public:
    // Blocks until the stream is ready: call it off the GUI thread. Null when
    // the server will not play it.
    static std::unique_ptr<PulsePlayback> start(std::shared_ptr<PulseAudioConnection> connection, const QString& name,
                                                const DecodedSound& sound, double linearVolume);
    ~PulsePlayback();
    PulsePlayback(const PulsePlayback&) = delete;
    PulsePlayback& operator=(const PulsePlayback&) = delete;

    // Drops the stream now, wherever the sound is. Idempotent.
    void stop();

private:
    explicit PulsePlayback(std::shared_ptr<PulseAudioConnection> connection) : m_connection(std::move(connection)) {}
    // Loop lock held.
    void release();

    std::shared_ptr<PulseAudioConnection> m_connection;
    pa_stream* m_stream = nullptr;
    pa_operation* m_drain = nullptr;
};

} // namespace velmora::platform
