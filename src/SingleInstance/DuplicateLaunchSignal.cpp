#include "DuplicateLaunchSignal.h"

#include "Platform/Linux/SocketSignal.h"

namespace SingleInstance {

DuplicateLaunchSignalObservation::DuplicateLaunchSignalObservation(
    QString name, std::unique_ptr<velmora::platform::SocketSignal::Listener> listener)
    : m_name(std::move(name))
    , m_listener(std::move(listener))
{
}

DuplicateLaunchSignalObservation::~DuplicateLaunchSignalObservation()
{
    cancel();
}

void DuplicateLaunchSignalObservation::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    m_listener->cancel();
}

namespace DuplicateLaunchSignal {

bool post(const QString& name, std::chrono::milliseconds patience)
{
    using velmora::platform::SocketSignal::PostResult;
    return velmora::platform::SocketSignal::post(name, patience) == PostResult::delivered;
}

std::unique_ptr<DuplicateLaunchSignalObservation> observe(const QString& name, std::function<void()> handler)
{
    auto listener = velmora::platform::SocketSignal::Listener::start(name, std::move(handler));
    if (!listener)
        return nullptr;
    return std::make_unique<DuplicateLaunchSignalObservation>(name, std::move(listener));
}

} // namespace DuplicateLaunchSignal

} // namespace SingleInstance
