#pragma once

#include "BrowserBridgeConnection.h"
#include "BrowserBridgeRequest.h"
#include "BrowserBridgeServerError.h"

#include <QMutex>
#include <QString>

#include "Platform/Linux/BridgeSocket.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace velmora {

// The application's end of the bridge: a private Unix socket, one accept
// thread, one reading thread per peer, same-user peers only. Knows nothing
// of dictation: every request goes to onRequest on its reading thread.
class BrowserBridgeServer {
public:
    using OnRequest = std::function<void(const BrowserBridgeRequest&, const std::shared_ptr<BrowserBridgeConnection>&)>;
    using OnDisconnect = std::function<void(const std::shared_ptr<BrowserBridgeConnection>&)>;
    using PeerCheck = std::function<bool(BridgeSocket::UserId peer)>;

    // A peer that stops reading is dropped once a send to it has waited `sendTimeout`.
    BrowserBridgeServer(QString socketPath, OnRequest onRequest, OnDisconnect onDisconnect, PeerCheck acceptPeer = {},
                        std::chrono::milliseconds sendTimeout = std::chrono::seconds(2));
    // Stops and waits for every thread it started.
    ~BrowserBridgeServer();

    [[nodiscard]] std::optional<BrowserBridgeServerError> start();
    void stop();
    bool isListening() const;
    size_t connectionCount() const;

    static constexpr qsizetype maximumRequestLine = 65536;
    static constexpr qsizetype readChunk = 16384;

private:
    void acceptLoop(int listenFd);
    void readLoop(std::shared_ptr<BrowserBridgeConnection> connection);
    void joinFinishedThreads();

    const QString m_socketPath;
    OnRequest m_onRequest;
    OnDisconnect m_onDisconnect;
    PeerCheck m_acceptPeer;
    std::chrono::milliseconds m_sendTimeout;

    mutable QMutex m_lock;
    int m_listenFd = -1;
    std::map<BrowserBridgeConnection*, std::shared_ptr<BrowserBridgeConnection>> m_connections;
    std::thread m_acceptThread;
    std::map<std::thread::id, std::thread> m_readers;
    std::vector<std::thread::id> m_finishedReaders;
};

} // namespace velmora
