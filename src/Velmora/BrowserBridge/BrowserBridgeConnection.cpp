#include "BrowserBridgeConnection.h"

#include "BrowserBridgeCodec.h"
#include "LineDecoder.h"

#include "Platform/Linux/BridgeSocket.h"


namespace velmora {

BrowserBridgeConnection::BrowserBridgeConnection(int fd, std::chrono::milliseconds sendTimeout)
    : m_fd(fd)
{
    BridgeSocket::setSendTimeout(m_fd, sendTimeout);
}

BrowserBridgeConnection::~BrowserBridgeConnection()
{
    releaseDescriptor();
}

void BrowserBridgeConnection::send(const BrowserBridgeEvent& event)
{
    QMutexLocker lock(&m_lock);
    if (m_isClosed || m_fd < 0)
        return;
    if (!BridgeSocket::writeAll(m_fd, LineDecoder::line(BrowserBridgeCodec::encode(event)))) {
        m_isClosed = true;
        BridgeSocket::shutdown(m_fd);
    }
}

void BrowserBridgeConnection::shutDown()
{
    QMutexLocker lock(&m_lock);
    if (!m_isClosed && m_fd >= 0) {
        m_isClosed = true;
        BridgeSocket::shutdown(m_fd);
    }
}

void BrowserBridgeConnection::releaseDescriptor()
{
    shutDown();
    QMutexLocker lock(&m_lock);
    if (m_fd >= 0) {
        BridgeSocket::close(m_fd);
        m_fd = -1;
    }
}

int BrowserBridgeConnection::fd() const
{
    QMutexLocker lock(&m_lock);
    return m_fd;
}

bool BrowserBridgeConnection::isClosed() const
{
    QMutexLocker lock(&m_lock);
    return m_isClosed;
}

} // namespace velmora
