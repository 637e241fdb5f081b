// Many real host processes against one server, and a peer that never reads.
#include "BrowserBridge/BrowserBridge.h"
#include "BrowserBridge/BrowserBridgeCodec.h"
#include "BrowserBridge/BrowserBridgeServer.h"
#include "BrowserBridge/LineDecoder.h"
#include "Shell/VelmoraPaths.h"

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
    std::atomic<int> disconnects = 0;
    BrowserBridgeServer server(
        VelmoraPaths::bridgeSocketPath(),
        [](const BrowserBridgeRequest& request, const std::shared_ptr<BrowserBridgeConnection>& connection) {
            connection->send(BrowserBridgeEvent::completed(request.session, QString(4000, 'w')));
        },
        [&](const std::shared_ptr<BrowserBridgeConnection>&) { ++disconnects; });
    ASSERT_EQ(server.start(), std::nullopt);

    // The stalled peer asks for far more than its receive buffer holds, and never reads.
    const auto stalled = BridgeSocket::connect(VelmoraPaths::bridgeSocketPath());
    ASSERT_TRUE(stalled);
    QByteArray flood;
    for (int i = 0; i < 2000; ++i)
        flood += LineDecoder::line(BrowserBridgeCodec::encode(BrowserBridgeRequest::start(QStringLiteral("s%1").arg(i))));
    ASSERT_TRUE(BridgeSocket::writeAll(*stalled, flood));

    const auto healthy = BridgeSocket::connect(VelmoraPaths::bridgeSocketPath());
    ASSERT_TRUE(healthy);
    LineDecoder lines(1 << 20);
    qint64 slowest = 0;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(BridgeSocket::writeAll(*healthy, LineDecoder::line(BrowserBridgeCodec::encode(BrowserBridgeRequest::start("ok")))));
        QList<QByteArray> got;
        while (got.isEmpty()) {
            const auto chunk = BridgeSocket::read(*healthy, 16384);
            ASSERT_TRUE(chunk && !chunk->isEmpty());
            got = std::get<QList<QByteArray>>(lines.feed(*chunk));
        }
        slowest = std::max(slowest, clock.elapsed());
    }
    EXPECT_LT(slowest, 2000) << "a healthy peer waited on the stalled one";
    ASSERT_TRUE(waitUntil([&] { return disconnects == 1; }, std::chrono::seconds(10))) << "the stalled peer is dropped after its send time-out";
    ::close(*stalled);
    ::close(*healthy);
}

} // namespace
