// Many real host processes against one server, and a peer that never reads.
#include "BrowserBridge/BrowserBridge.h"
#include "BrowserBridge/BrowserBridgeCodec.h"
#include "BrowserBridge/BrowserBridgeServer.h"
#include "BrowserBridge/LineDecoder.h"
#include "Paths/VelmoraPaths.h"

#include "Platform/Linux/BridgeSocket.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

using namespace velmora;
using test::waitUntil;

namespace {

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

QByteArray startFrame(const QString& session)
{
    return NativeMessagingFrameDecoder::frame(BrowserBridgeCodec::encode(BrowserBridgeRequest::start(session)));
}

TEST(BrowserBridgeLoad, FiftyHostsOfAThousandRequestsLoseAndReorderNothing)
{
    constexpr int hosts = 50;
    constexpr int perHost = 1000;
    const int threadsBefore = threadCount();
    std::atomic<int> disconnects = 0;
    auto server = std::make_unique<BrowserBridgeServer>(
        VelmoraPaths::bridgeSocketPath(),
        [](const BrowserBridgeRequest& request, const std::shared_ptr<BrowserBridgeConnection>& connection) {
            connection->send(BrowserBridgeEvent::recording(request.session));
        },
        [&](const std::shared_ptr<BrowserBridgeConnection>&) { ++disconnects; });
    ASSERT_EQ(server->start(), std::nullopt);

    std::vector<std::unique_ptr<QProcess>> processes;
    std::vector<NativeMessagingFrameDecoder> decoders(hosts, NativeMessagingFrameDecoder(1 << 20));
    std::vector<QList<QByteArray>> replies(hosts);
    for (int h = 0; h < hosts; ++h) {
        auto process = std::make_unique<QProcess>();
        process->start(test::velmoraExecutable(), {BrowserBridge::allowedOrigin});
        ASSERT_TRUE(process->waitForStarted());
        processes.push_back(std::move(process));
    }
    ASSERT_TRUE(waitUntil([&] { return server->connectionCount() == hosts; }, std::chrono::seconds(20)));
    for (int h = 0; h < hosts; ++h) {
        QByteArray all;
        for (int n = 0; n < perHost; ++n)
            all += startFrame(QStringLiteral("h%1-%2").arg(h).arg(n));
        processes[size_t(h)]->write(all);
    }
    const auto collect = [&] {
        bool done = true;
        for (int h = 0; h < hosts; ++h) {
            const auto got = decoders[size_t(h)].feed(processes[size_t(h)]->readAllStandardOutput());
            replies[size_t(h)] += std::get<QList<QByteArray>>(got);
            done = done && replies[size_t(h)].size() >= perHost;
        }
        return done;
    };
    ASSERT_TRUE(waitUntil(collect, std::chrono::seconds(120)));
    for (int h = 0; h < hosts; ++h) {
        ASSERT_EQ(replies[size_t(h)].size(), perHost);
        for (int n = 0; n < perHost; ++n) {
            ASSERT_EQ(replies[size_t(h)].at(n),
                      BrowserBridgeCodec::encode(BrowserBridgeEvent::recording(QStringLiteral("h%1-%2").arg(h).arg(n))))
                << "host " << h << " reply " << n;
        }
    }

    server->stop();
    ASSERT_TRUE(waitUntil([&] { return disconnects == hosts; }, std::chrono::seconds(10)));
    for (auto& process : processes) {
        ASSERT_TRUE(waitUntil([&] { return process->state() == QProcess::NotRunning; }, std::chrono::seconds(5)));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
    }
    server.reset();
    EXPECT_TRUE(waitUntil([&] { return threadCount() <= threadsBefore; })) << threadCount() << " threads, " << threadsBefore << " before";
}

TEST(BrowserBridgeLoad, APeerThatNeverReadsHoldsUpNobodyButItself)
{
    // The stalled peer asks for far more than its receive buffer holds, and never reads.
    const auto stall = [](const QString& path) {
        const auto peer = BridgeSocket::connect(path);
        EXPECT_TRUE(peer);
        QByteArray flood;
        for (int i = 0; i < 2000; ++i)
            flood += LineDecoder::line(BrowserBridgeCodec::encode(BrowserBridgeRequest::start(QStringLiteral("s%1").arg(i))));
        EXPECT_TRUE(BridgeSocket::writeAll(peer.value_or(-1), flood));
        return peer.value_or(-1);
    };
    // A server that answers every request with a bulky event and counts the peers that went away.
    std::atomic<int> disconnects = 0;
    const auto serve = [&](std::chrono::milliseconds sendTimeout) {
        disconnects = 0;
        auto server = std::make_unique<BrowserBridgeServer>(
            VelmoraPaths::bridgeSocketPath(),
            [](const BrowserBridgeRequest& request, const std::shared_ptr<BrowserBridgeConnection>& connection) {
                connection->send(BrowserBridgeEvent::completed(request.session, QString(4000, 'w')));
            },
            [&](const std::shared_ptr<BrowserBridgeConnection>&) { ++disconnects; }, BrowserBridgeServer::PeerCheck{},
            sendTimeout);
        EXPECT_EQ(server->start(), std::nullopt);
        return server;
    };

    {
        // A send time-out far longer than the test: the healthy peer must be served while the stalled one
        // still holds its reader, not after it was dropped.
        const auto server = serve(std::chrono::minutes(10));
        const int stalled = stall(VelmoraPaths::bridgeSocketPath());
        const auto healthy = BridgeSocket::connect(VelmoraPaths::bridgeSocketPath());
        ASSERT_TRUE(healthy);
        LineDecoder lines(1 << 20);
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(BridgeSocket::writeAll(*healthy, LineDecoder::line(BrowserBridgeCodec::encode(BrowserBridgeRequest::start("ok")))));
            QList<QByteArray> got;
            while (got.isEmpty()) {
                const auto chunk = BridgeSocket::read(*healthy, 16384);
                ASSERT_TRUE(chunk && !chunk->isEmpty());
                got = std::get<QList<QByteArray>>(lines.feed(*chunk));
            }
        }
        EXPECT_EQ(disconnects, 0) << "the healthy peer was only served once the stalled one was gone";
        ::close(stalled);
        ::close(*healthy);
        server->stop();
        EXPECT_TRUE(waitUntil([&] { return disconnects == 2; }, std::chrono::seconds(10)));
    }
    {
        // With a short time-out, the stalled peer is dropped by itself.
        const auto server = serve(std::chrono::milliseconds(200));
        const int stalled = stall(VelmoraPaths::bridgeSocketPath());
        EXPECT_TRUE(waitUntil([&] { return disconnects == 1; }, std::chrono::seconds(30)))
            << "the stalled peer is dropped after its send time-out";
        ::close(stalled);
    }
}

} // namespace
