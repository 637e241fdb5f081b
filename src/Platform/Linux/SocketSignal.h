#pragma once

#include <QString>

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace velmora::platform {

// A per-user, payload-free wake-up call on the Unix socket <name>.socket in the
// user's private runtime folder (velmora in $XDG_RUNTIME_DIR, else the private
// temporary folder; mode 0700): the connection itself is the message. No other
// user can take or reach the name; peers are still checked (SO_PEERCRED), and
// only those of the same user are answered.
namespace SocketSignal {

// The socket's path; nullopt when no private folder can be had or the path is
// longer than an address allows.
std::optional<QString> socketPath(const QString& name);

enum class PostResult { delivered, noListener, refusedListener };

// Nobody listening is not an error. With patience, a listener that is about
// to appear (its process holds the lock but has not bound the name yet) is
// waited for that long; without, the call never blocks. The signal (one byte)
// is only sent once the listener's user has been checked (by default: this user).
PostResult post(const QString& name, std::chrono::milliseconds patience = std::chrono::milliseconds(0),
                const std::function<bool(uid_t)>& acceptListener = {});

// Calls `handler` on the listener's own thread for each accepted signal: a
// peer of an accepted user that sends its byte within a second.
class Listener {
public:
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    ~Listener();

    // Null when the name cannot be bound: someone listens on it already, or there is no path for it.
    // A socket left by a copy that ended without removing it is replaced.
    static std::unique_ptr<Listener> start(const QString& name, std::function<void()> handler,
                                           std::function<bool(uid_t)> acceptPeer = {});
    // Stops listening; waits for a handler call in progress. Safe to call twice.
    void cancel();

private:
    Listener(int listenFd, int wakeFd, QString path, std::function<void()> handler, std::function<bool(uid_t)> acceptPeer);
    void run();

    int m_listenFd;
    int m_wakeFd;
    QString m_path;
    std::function<void()> m_handler;
    std::function<bool(uid_t)> m_acceptPeer;
    std::thread m_thread;
    bool m_cancelled = false;
};

} // namespace SocketSignal

} // namespace velmora::platform
