#pragma once

#include "BrowserBridgeConnection.h"

#include <QMutex>

#include <deque>
#include <map>
#include <memory>

namespace velmora {

// Sends events off the main thread (a stalled peer may hold a send for its whole
// time-out), one connection's events strictly in order, connections independently.
class BridgeSendQueue : public std::enable_shared_from_this<BridgeSendQueue> {
public:
    static std::shared_ptr<BridgeSendQueue> create();
    void send(const std::shared_ptr<BrowserBridgeConnection>& connection, const BrowserBridgeEvent& event);

private:
    BridgeSendQueue() = default;
    void run(BrowserBridgeConnection* key);

    QMutex m_lock;
    struct Lane {
        std::shared_ptr<BrowserBridgeConnection> connection;
        std::deque<BrowserBridgeEvent> events;
    };
    std::map<BrowserBridgeConnection*, Lane> m_lanes; // a lane exists while its worker runs
};

} // namespace velmora
