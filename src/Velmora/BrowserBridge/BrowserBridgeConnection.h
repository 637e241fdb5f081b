#pragma once

#include "BrowserBridgeEvent.h"

#include <QMutex>

#include <chrono>

namespace velmora {

// One accepted peer. Compared by identity; writes are serialised and stop for
// good once the connection is closed.
class BrowserBridgeConnection {
public:
    BrowserBridgeConnection(int fd, std::chrono::milliseconds sendTimeout);
    ~BrowserBridgeConnection();
    BrowserBridgeConnection(const BrowserBridgeConnection&) = delete;
    BrowserBridgeConnection& operator=(const BrowserBridgeConnection&) = delete;

    // Any thread. A failed or timed-out write closes the connection.
    void send(const BrowserBridgeEvent& event);
    // Shuts both directions down; the reading thread then sees the end.
    void shutDown();
    void releaseDescriptor();

    int fd() const;
    bool isClosed() const;

private:
    mutable QMutex m_lock;
    int m_fd;
    bool m_isClosed = false;
};

} // namespace velmora
