#include "BrowserBridgeServer.h"

#include "BrowserBridgeCodec.h"
#include "LineDecoder.h"

#include "Platform/Linux/PrivateFolder.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace velmora {

BrowserBridgeServer::BrowserBridgeServer(QString socketPath, OnRequest onRequest, OnDisconnect onDisconnect,
                                         PeerCheck acceptPeer, std::chrono::milliseconds sendTimeout)
    : m_socketPath(std::move(socketPath))
    , m_onRequest(std::move(onRequest))
    , m_onDisconnect(std::move(onDisconnect))
    , m_acceptPeer(acceptPeer ? std::move(acceptPeer)
                              : PeerCheck([](BridgeSocket::UserId peer) { return peer == BridgeSocket::currentUser(); }))
    , m_sendTimeout(sendTimeout)
{
}

BrowserBridgeServer::~BrowserBridgeServer()
{
    stop();
    std::map<std::thread::id, std::thread> readers;
    {
        QMutexLocker lock(&m_lock);
        readers.swap(m_readers);
    }
    for (auto& [id, thread] : readers) {
        if (thread.joinable())
            thread.join();
    }
}

bool BrowserBridgeServer::isListening() const
{
    QMutexLocker lock(&m_lock);
    return m_listenFd >= 0;
}

size_t BrowserBridgeServer::connectionCount() const
{
    QMutexLocker lock(&m_lock);
    return m_connections.size();
}

std::optional<BrowserBridgeServerError> BrowserBridgeServer::start()
{
    QMutexLocker lock(&m_lock);
    if (m_listenFd >= 0)
        return std::nullopt;
    const auto address = BridgeSocket::address(m_socketPath);
    if (!address)
        return BrowserBridgeServerError::pathTooLong();

    // The folder must be a real folder of ours, not a link, and private.
    const QString folder = QFileInfo(m_socketPath).absolutePath();
    const auto prepared = platform::PrivateFolder::ensure(folder);
    if (const auto* error = std::get_if<platform::SystemError>(&prepared)) {
        if (*error == platform::SystemError(ENOTDIR) || *error == platform::SystemError(EPERM))
            return BrowserBridgeServerError::unsafeDirectory(folder);
        return BrowserBridgeServerError::socket(error->description());
    }
    // A socket of ours left by a crash goes; anything else stays and makes listening fail.
    const auto listening = BridgeSocket::listen(m_socketPath, 4);
    if (const auto* error = std::get_if<platform::SystemError>(&listening))
        return BrowserBridgeServerError::socket(error->description());
    const int fd = std::get<int>(listening);
    m_listenFd = fd;
    if (m_acceptThread.joinable())
        m_acceptThread.join(); // the loop of an earlier start has ended
    m_acceptThread = std::thread([this, fd] { acceptLoop(fd); });
    return std::nullopt;
}

void BrowserBridgeServer::stop()
{
    int fd;
    std::vector<std::shared_ptr<BrowserBridgeConnection>> open;
    {
        QMutexLocker lock(&m_lock);
        fd = std::exchange(m_listenFd, -1);
        for (const auto& [key, connection] : m_connections)
            open.push_back(connection);
    }
    if (fd < 0)
        return;
    // Wakes the blocked accept(); each reader wakes with the end of its stream.
    BridgeSocket::shutdown(fd);
    BridgeSocket::close(fd);
    QFile::remove(m_socketPath);
    for (const auto& connection : open)
        connection->shutDown();
    if (m_acceptThread.joinable() && m_acceptThread.get_id() != std::this_thread::get_id())
        m_acceptThread.join();
}

void BrowserBridgeServer::joinFinishedThreads()
{
    std::vector<std::thread> finished;
    {
        QMutexLocker lock(&m_lock);
        for (const auto& id : m_finishedReaders) {
            auto it = m_readers.find(id);
            if (it != m_readers.end()) {
                finished.push_back(std::move(it->second));
                m_readers.erase(it);
            }
        }
        m_finishedReaders.clear();
    }
    for (auto& thread : finished)
        thread.join();
}

void BrowserBridgeServer::acceptLoop(int listenFd)
{
    while (const auto accepted = BridgeSocket::accept(listenFd)) {
        joinFinishedThreads();
        if (!accepted->peer || !m_acceptPeer(*accepted->peer)) {
            BridgeSocket::close(accepted->fd);
            continue;
        }
        auto connection = std::make_shared<BrowserBridgeConnection>(accepted->fd, m_sendTimeout);
        QMutexLocker lock(&m_lock);
        if (m_listenFd != listenFd)
            return; // stopped meanwhile; the connection closes as it goes
        m_connections.emplace(connection.get(), connection);
        std::thread reader([this, connection] { readLoop(connection); });
        m_readers.emplace(reader.get_id(), std::move(reader));
    }
}

void BrowserBridgeServer::readLoop(std::shared_ptr<BrowserBridgeConnection> connection)
{
    LineDecoder decoder(maximumRequestLine);
    const int fd = connection->fd();
    for (bool reading = true; reading;) {
        const auto chunk = BridgeSocket::read(fd, readChunk);
        if (!chunk || chunk->isEmpty())
            break;
        const auto lines = decoder.feed(*chunk);
        if (std::holds_alternative<BrowserBridgeCodecError>(lines))
            break;
        for (const QByteArray& line : std::get<QList<QByteArray>>(lines)) {
            const auto decoded = BrowserBridgeCodec::decodeRequest(line);
            if (const auto* request = std::get_if<BrowserBridgeRequest>(&decoded)) {
                m_onRequest(*request, connection);
                continue;
            }
            if (const auto failure = BrowserBridgeCodec::answer(std::get<BrowserBridgeCodecError>(decoded))) {
                connection->send(*failure);
                continue;
            }
            reading = false;
            break;
        }
    }
    {
        QMutexLocker lock(&m_lock);
        m_connections.erase(connection.get());
    }
    connection->releaseDescriptor();
    if (m_onDisconnect)
        m_onDisconnect(connection);
    QMutexLocker lock(&m_lock);
    m_finishedReaders.push_back(std::this_thread::get_id());
}

} // namespace velmora
