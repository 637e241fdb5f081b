#pragma once

#include "Platform/SoundServerError.h"

#include <QString>

#include <functional>
#include <chrono>
#include <memory>
#include <variant>

struct pa_context;
struct pa_threaded_mainloop;

namespace velmora::platform {

// One client connection to the sound server, with its own threaded main
// loop. Callbacks of the library run on that loop's thread; code elsewhere
// takes the loop lock (withLock) before touching PulseAudio objects.
class PulseAudioConnection {
public:
    // Blocks the calling thread until the server answers: call it off the GUI thread.
    // How long a server may take to answer before the attempt counts as failed.
    static constexpr std::chrono::milliseconds connectLimit{5000};
    [[nodiscard]] static std::variant<std::shared_ptr<PulseAudioConnection>, SoundServerError> connect(const QString& applicationName);

    ~PulseAudioConnection();
    PulseAudioConnection(const PulseAudioConnection&) = delete;
    PulseAudioConnection& operator=(const PulseAudioConnection&) = delete;

    pa_threaded_mainloop* mainloop() const { return m_mainloop; }
    pa_context* context() const { return m_context; }
    bool isReady() const;

    template <typename F>
    auto withLock(F&& f) const
    {
        lock();
        struct Unlock {
            const PulseAudioConnection* connection;
            ~Unlock() { connection->unlock(); }
        } unlock{this};
        return f();
    }

    // What a PA_ERR_* number means to callers.
    static SoundServerError errorFrom(int pulseError);

private:
    void lock() const;
    void unlock() const;
    PulseAudioConnection(pa_threaded_mainloop* mainloop, pa_context* context) : m_mainloop(mainloop), m_context(context) {}

    pa_threaded_mainloop* m_mainloop;
    pa_context* m_context;
};

} // namespace velmora::platform
