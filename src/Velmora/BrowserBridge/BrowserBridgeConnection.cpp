#include "BrowserBridgeConnection.h"

#include "BrowserBridgeCodec.h"
#include "LineDecoder.h"

#include "Platform/Linux/BridgeSocket.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace velmora {

BrowserBridgeConnection::BrowserBridgeConnection(int fd, std::chrono::milliseconds sendTimeout)
    : m_fd(fd)
{
    timeval timeout{};
    timeout.tv_sec = time_t(sendTimeout.count() / 1000);
    timeout.tv_usec = suseconds_t((sendTimeout.count() % 1000) * 1000);
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
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
        ::shutdown(m_fd, SHUT_RDWR);
    }
}

void BrowserBridgeConnection::shutDown()
{
    QMutexLocker lock(&m_lock);
    if (!m_isClosed && m_fd >= 0) {
        m_isClosed = true;
        ::shutdown(m_fd, SHUT_RDWR);
    }
}

void BrowserBridgeConnection::releaseDescriptor()
{
    shutDown();
    QMutexLocker lock(&m_lock);
    if (m_fd >= 0) {
        ::close(m_fd);
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
