#pragma once

#include <QString>

#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

#include <functional>
#include <memory>
#include <variant>

namespace velmora::platform {

// One client connection to the sound server, with its own threaded main
// loop. Callbacks of the library run on that loop's thread; code elsewhere
// takes the loop lock (withLock) before touching PulseAudio objects.
class PulseAudioConnection {
public:
    // The connection, or the server's error number (PA_ERR_*). Blocks the
    // calling thread until the server answers: call it off the GUI thread.
    static std::variant<std::shared_ptr<PulseAudioConnection>, int> connect(const QString& applicationName);

    ~PulseAudioConnection();
    PulseAudioConnection(const PulseAudioConnection&) = delete;
    PulseAudioConnection& operator=(const PulseAudioConnection&) = delete;

    pa_threaded_mainloop* mainloop() const { return m_mainloop; }
    pa_context* context() const { return m_context; }
    bool isReady() const;

    template <typename F>
    auto withLock(F&& f) const
    {
        pa_threaded_mainloop_lock(m_mainloop);
        struct Unlock {
            pa_threaded_mainloop* loop;
            ~Unlock() { pa_threaded_mainloop_unlock(loop); }
        } unlock{m_mainloop};
        return f();
    }

    // Whether an error number means the server refused us (treated as a refused permission).
    static bool isRefusal(int error);

private:
    PulseAudioConnection(pa_threaded_mainloop* mainloop, pa_context* context) : m_mainloop(mainloop), m_context(context) {}

    pa_threaded_mainloop* m_mainloop;
    pa_context* m_context;
};

} // namespace velmora::platform
