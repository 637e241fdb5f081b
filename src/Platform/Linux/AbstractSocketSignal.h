#pragma once

#include <QString>

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace velmora::platform {

// A per-user, payload-free wake-up call on the abstract Unix socket
// "@<name>.<uid>": the connection itself is the message. Only peers of the
// same user (SO_PEERCRED) are answered.
namespace AbstractSocketSignal {

QByteArray addressName(const QString& name);

enum class PostResult { delivered, noListener, refusedListener };

// Nobody listening is not an error. With patience, a listener that is about
// to appear (its process holds the lock but has not bound the name yet) is
// waited for that long; without, the call never blocks. An abstract name can
// be bound by anyone, so the signal (one byte) is only sent once the
// listener's user has been checked (by default: this user).
PostResult post(const QString& name, std::chrono::milliseconds patience = std::chrono::milliseconds(0),
                const std::function<bool(uid_t)>& acceptListener = {});

// Calls `handler` on the listener's own thread for each accepted signal: a
// peer of an accepted user that sends its byte within a second.
class Listener {
public:
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    ~Listener();

    // nullopt when the name cannot be bound (taken, or longer than an address allows).
    static std::unique_ptr<Listener> start(const QString& name, std::function<void()> handler,
                                           std::function<bool(uid_t)> acceptPeer = {});
    // Stops listening; waits for a handler call in progress. Safe to call twice.
    void cancel();

private:
    Listener(int listenFd, int wakeFd, std::function<void()> handler, std::function<bool(uid_t)> acceptPeer);
    void run();

    int m_listenFd;
    int m_wakeFd;
    std::function<void()> m_handler;
    std::function<bool(uid_t)> m_acceptPeer;
    std::thread m_thread;
    bool m_cancelled = false;
};

} // namespace AbstractSocketSignal

} // namespace velmora::platform
