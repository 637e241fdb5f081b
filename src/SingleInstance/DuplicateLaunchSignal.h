#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace velmora::platform::SocketSignal {
class Listener;
}

namespace SingleInstance {

// A registered observer of the duplicate-launch signal; cancelled once, at the
// latest when destroyed.
class DuplicateLaunchSignalObservation {
public:
    DuplicateLaunchSignalObservation(QString name, std::unique_ptr<velmora::platform::SocketSignal::Listener> listener);
    ~DuplicateLaunchSignalObservation();
    DuplicateLaunchSignalObservation(const DuplicateLaunchSignalObservation&) = delete;
    DuplicateLaunchSignalObservation& operator=(const DuplicateLaunchSignalObservation&) = delete;

    const QString& name() const { return m_name; }
    bool isCancelled() const { return m_cancelled; }
    // Returns after a handler call in progress has finished.
    void cancel();

private:
    QString m_name;
    std::unique_ptr<velmora::platform::SocketSignal::Listener> m_listener;
    bool m_cancelled = false;
};

// The per-user, payload-free wake-up call between copies of the program.
namespace DuplicateLaunchSignal {

// Waits up to `patience` for a listener that is about to appear. True when a
// listener of this user was signalled; one of another user is never signalled.
bool post(const QString& name, std::chrono::milliseconds patience = std::chrono::milliseconds(0));
// The handler runs on the observer's own thread. Null when the name cannot be observed.
std::unique_ptr<DuplicateLaunchSignalObservation> observe(const QString& name, std::function<void()> handler);

} // namespace DuplicateLaunchSignal

} // namespace SingleInstance
