#include "BridgeSendQueue.h"

#include <QThreadPool>

namespace velmora {

namespace {

// Sends may wait out a stalled peer's time-out: they get threads of their own, so
// they never hold up the shared pool's other work.
QThreadPool& sendPool()
{
    static QThreadPool pool;
    pool.setMaxThreadCount(8);
    return pool;
}

} // namespace

std::shared_ptr<BridgeSendQueue> BridgeSendQueue::create()
{
    return std::shared_ptr<BridgeSendQueue>(new BridgeSendQueue);
}

void BridgeSendQueue::send(const std::shared_ptr<BrowserBridgeConnection>& connection, const BrowserBridgeEvent& event)
{
    QMutexLocker lock(&m_lock);
    auto [lane, created] = m_lanes.try_emplace(connection.get(), Lane{connection, {}});
    lane->second.events.push_back(event);
    if (!created)
        return; // its worker is running and will take this one too
    lock.unlock();
    sendPool().start([self = shared_from_this(), key = connection.get()] { self->run(key); });
}

void BridgeSendQueue::run(BrowserBridgeConnection* key)
{
    while (true) {
        QMutexLocker lock(&m_lock);
        auto lane = m_lanes.find(key);
        if (lane->second.events.empty()) {
            m_lanes.erase(lane);
            return;
        }
        const auto connection = lane->second.connection;
        const BrowserBridgeEvent event = lane->second.events.front();
        lane->second.events.pop_front();
        lock.unlock();
        connection->send(event);
    }
}

} // namespace velmora
