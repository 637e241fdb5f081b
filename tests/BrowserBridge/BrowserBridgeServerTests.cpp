#include "BrowserBridge/BrowserBridgeCodec.h"
#include "BrowserBridge/BrowserBridgeServer.h"
#include "BrowserBridge/LineDecoder.h"

#include "Platform/Linux/BridgeSocket.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

using namespace velmora;
using test::waitUntil;

namespace {

class BrowserBridgeServerTest : public ::testing::Test {
protected:
    QString socketPath() const { return dir.path() + QStringLiteral("/Velmora/bridge/bridge.sock"); }
    std::unique_ptr<BrowserBridgeServer> makeServer(BrowserBridgeServer::PeerCheck peers = {}, QString path = {})
    {
        return std::make_unique<BrowserBridgeServer>(
            path.isEmpty() ? socketPath() : path,
            [this](const BrowserBridgeRequest& request, const std::shared_ptr<BrowserBridgeConnection>& connection) {
                QMutexLocker lock(&mutex);
                requests << request;
                if (echo)
                    connection->send(BrowserBridgeEvent::recording(request.session));
            },
            [this](const std::shared_ptr<BrowserBridgeConnection>&) { ++disconnects; }, std::move(peers));
    }
    static mode_t modeOf(const QString& path)
    {
        struct stat info {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        return info.st_mode & 0777;
    }
    // Reads until the peer closes or `limit` passes.
    static QByteArray readAll(int fd, std::chrono::milliseconds limit = std::chrono::seconds(2))
    {
        timeval timeout{0, int(limit.count() * 1000)};
        timeout.tv_sec = timeout.tv_usec / 1000000;
        timeout.tv_usec %= 1000000;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        QByteArray all;
        for (;;) {
            const auto chunk = BridgeSocket::read(fd, 16384);
            if (!chunk || chunk->isEmpty())
                return all;
            all += *chunk;
        }
    }
    QList<BrowserBridgeRequest> received()
    {
        QMutexLocker lock(&mutex);
        return requests;
    }

    QTemporaryDir dir;
    QMutex mutex;
    QList<BrowserBridgeRequest> requests;
    std::atomic<int> disconnects = 0;
    bool echo = false;
};

TEST_F(BrowserBridgeServerTest, StartsPrivateAndStopsWithoutATrace)
{
    QDir().mkpath(QFileInfo(socketPath()).absolutePath());
    ::chmod(QFile::encodeName(QFileInfo(socketPath()).absolutePath()).constData(), 0755);
    auto server = makeServer();
    ASSERT_EQ(server->start(), std::nullopt);
    EXPECT_EQ(modeOf(QFileInfo(socketPath()).absolutePath()), 0700u);
    EXPECT_EQ(modeOf(socketPath()), 0600u);
    EXPECT_EQ(server->start(), std::nullopt) << "a second start does nothing";

    const auto fd = BridgeSocket::connect(socketPath());
    ASSERT_TRUE(fd);
    ASSERT_TRUE(waitUntil([&] { return server->connectionCount() == 1; }));
    server->stop();
    EXPECT_FALSE(QFile::exists(socketPath()));
    EXPECT_FALSE(BridgeSocket::connect(socketPath()));
    EXPECT_TRUE(readAll(*fd).isEmpty()) << "the peer sees the end";
    ASSERT_TRUE(waitUntil([&] { return disconnects == 1; }));
    server->stop();
    EXPECT_EQ(disconnects, 1);
    ::close(*fd);
}

TEST_F(BrowserBridgeServerTest, PathsAndFoldersThatAreRefused)
{
    // 107 bytes fit sun_path with its zero; 108 do not.
    const QString base = dir.path() + QLatin1Char('/');
    const auto pathOfLength = [&](qsizetype length) { return base + QString(length - base.size() - 7, 'p') + "/b.sock"; };
    auto fits = makeServer({}, pathOfLength(107));
    EXPECT_EQ(fits->start(), std::nullopt);
    fits->stop();
    auto tooLong = makeServer({}, pathOfLength(108));
    EXPECT_EQ(tooLong->start(), BrowserBridgeServerError::pathTooLong());

    // A folder that is a link is not ours to trust, and what it points to is left exactly as it was.
    const QString target = dir.path() + QStringLiteral("/shared-folder");
    QDir().mkpath(target);
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0755), 0);
    QDir().mkpath(dir.path() + QStringLiteral("/Velmora"));
    ASSERT_TRUE(QFile::link(target, dir.path() + QStringLiteral("/Velmora/bridge")));
    auto linked = makeServer();
    EXPECT_EQ(linked->start(), BrowserBridgeServerError::unsafeDirectory(dir.path() + QStringLiteral("/Velmora/bridge")));
    struct stat targetInfo {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &targetInfo), 0);
    EXPECT_EQ(targetInfo.st_mode & 0777, 0755u) << "the link's target had its mode changed";
    QFile::remove(dir.path() + QStringLiteral("/Velmora/bridge"));

    // A regular file at the socket path is left alone and named in the error.
    QDir().mkpath(dir.path() + QStringLiteral("/Velmora/bridge"));
    test::writeFile(socketPath(), "mine");
    auto blocked = makeServer();
    const auto error = blocked->start();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), BrowserBridgeServerError::Kind::socket);
    EXPECT_EQ(error->description(), QStringLiteral("Address already in use"));
    EXPECT_EQ(test::readFile(socketPath()), "mine");
    QFile::remove(socketPath());

    // A stale socket of ours from a crash is replaced.
    const int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const auto address = BridgeSocket::address(socketPath());
    ASSERT_EQ(::bind(left, reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)), 0);
    ::close(left); // the file stays, as after a crash
    auto next = makeServer();
    EXPECT_EQ(next->start(), std::nullopt);
}

TEST_F(BrowserBridgeServerTest, ValidRequestsReachTheCallbackAndInvalidOnesAreAnswered)
{
    echo = true;
    auto server = makeServer();
    ASSERT_EQ(server->start(), std::nullopt);
    const auto fd = BridgeSocket::connect(socketPath());
    ASSERT_TRUE(fd);
    ASSERT_TRUE(BridgeSocket::writeAll(*fd, "{\"v\":1,\"type\":\"start\",\"session\":\"a\"}\n{\"v\":1,\"session\":\"x\",\"type\":\"bogus\"}\n"));
    ASSERT_TRUE(waitUntil([&] { return received().size() == 1; }));
    EXPECT_EQ(received().first(), BrowserBridgeRequest::start("a"));
    LineDecoder lines(262144);
    QList<QByteArray> replies;
    ASSERT_TRUE(waitUntil([&] {
        const auto chunk = BridgeSocket::read(*fd, 16384);
        if (chunk)
            replies += std::get<QList<QByteArray>>(lines.feed(*chunk));
        return replies.size() >= 2;
    }));
    EXPECT_EQ(replies.at(0), BrowserBridgeCodec::encode(BrowserBridgeEvent::recording("a")));
    EXPECT_EQ(replies.at(1), BrowserBridgeCodec::encode(BrowserBridgeEvent::failed("x", BrowserBridgeFailureCode::protocol, "Ungültige Nachricht.")));
    EXPECT_EQ(disconnects, 0) << "the connection stays open";

    ASSERT_TRUE(BridgeSocket::writeAll(*fd, "hello\n{\"v\":1,\"type\":\"start\",\"session\":\"never\"}\n"));
    EXPECT_TRUE(readAll(*fd).isEmpty()) << "closed without a reply";
    ASSERT_TRUE(waitUntil([&] { return disconnects == 1; }));
    EXPECT_EQ(received().size(), 1) << "the rest of the chunk is dropped";
    ::close(*fd);
}

TEST_F(BrowserBridgeServerTest, OversizedInputAndForeignPeersAreCutOff)
{
    auto server = makeServer();
    ASSERT_EQ(server->start(), std::nullopt);
    const auto big = BridgeSocket::connect(socketPath());
    ASSERT_TRUE(big);
    BridgeSocket::writeAll(*big, QByteArray(65537, 'x'));
    EXPECT_TRUE(readAll(*big).isEmpty());
    EXPECT_TRUE(waitUntil([&] { return disconnects == 1; }));
    ::close(*big);

    auto strict = makeServer([](uid_t) { return false; }, dir.path() + QStringLiteral("/strict.sock"));
    ASSERT_EQ(strict->start(), std::nullopt);
    const auto stranger = BridgeSocket::connect(dir.path() + QStringLiteral("/strict.sock"));
    ASSERT_TRUE(stranger);
    BridgeSocket::writeAll(*stranger, "{\"v\":1,\"type\":\"start\",\"session\":\"a\"}\n");
    EXPECT_TRUE(readAll(*stranger).isEmpty());
    EXPECT_TRUE(received().isEmpty());
    EXPECT_EQ(strict->connectionCount(), 0u);
    ::close(*stranger);
}

TEST_F(BrowserBridgeServerTest, SendingToAVanishedPeerFailsQuietlyAndOnce)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    BrowserBridgeConnection connection(pair[0], std::chrono::seconds(2));
    ::close(pair[1]);
    connection.send(BrowserBridgeEvent::recording("a"));
    EXPECT_TRUE(connection.isClosed());
    connection.send(BrowserBridgeEvent::recording("a"));
    connection.releaseDescriptor();
    EXPECT_EQ(connection.fd(), -1);
}

} // namespace
