// The built executable as a native-messaging host, driven exactly as a browser does.
#include "BrowserBridge/BrowserBridge.h"
#include "BrowserBridge/BrowserBridgeCodec.h"
#include "BrowserBridge/BrowserBridgeManifest.h"
#include "BrowserBridge/BrowserBridgeServer.h"
#include "BrowserBridge/LineDecoder.h"
#include "Paths/VelmoraPaths.h"

#include "TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace velmora;
using test::waitUntil;

namespace {

QByteArray frame(const QByteArray& payload)
{
    return NativeMessagingFrameDecoder::frame(payload);
}

QByteArray request(const char* type, const char* session)
{
    return QByteArray("{\"type\":\"") + type + "\",\"extra\":true,\"session\":\"" + session + "\",\"v\":1}";
}

class HostTest : public ::testing::Test {
protected:
    void startApplicationSide()
    {
        server = std::make_unique<BrowserBridgeServer>(
            VelmoraPaths::bridgeSocketPath(),
            [this](const BrowserBridgeRequest& r, const std::shared_ptr<BrowserBridgeConnection>& c) {
                QMutexLocker lock(&mutex);
                requests << r;
                connection = c;
            },
            [](const std::shared_ptr<BrowserBridgeConnection>&) {});
        ASSERT_EQ(server->start(), std::nullopt);
    }
    void TearDown() override
    {
        if (host.state() != QProcess::NotRunning) {
            host.kill();
            host.waitForFinished();
        }
        server.reset();
    }
    void launchHost(const QString& origin = BrowserBridge::allowedOrigin)
    {
        host.start(test::velmoraExecutable(), {origin});
        ASSERT_TRUE(host.waitForStarted());
    }
    QList<BrowserBridgeRequest> received()
    {
        QMutexLocker lock(&mutex);
        return requests;
    }
    // Frames the host wrote to its standard output so far.
    QList<QByteArray> framesOut()
    {
        host.waitForReadyRead(50);
        const auto got = decoder.feed(host.readAllStandardOutput());
        if (std::holds_alternative<QList<QByteArray>>(got))
            frames += std::get<QList<QByteArray>>(got);
        return frames;
    }

    std::unique_ptr<BrowserBridgeServer> server;
    QProcess host;
    QMutex mutex;
    QList<BrowserBridgeRequest> requests;
    std::shared_ptr<BrowserBridgeConnection> connection;
    NativeMessagingFrameDecoder decoder{1 << 20};
    QList<QByteArray> frames;
};

TEST_F(HostTest, RelaysCanonicalRequestsAndEventsByteForByte)
{
    startApplicationSide();
    launchHost();
    host.write(frame(request("start", "a")));
    ASSERT_TRUE(waitUntil([&] { return received().size() == 1; }));
    EXPECT_EQ(received().first(), BrowserBridgeRequest::start("a"));

    // An event line goes out as exactly its bytes, behind a little-endian length.
    connection->send(BrowserBridgeEvent::completed("a", "Grüße/Welt"));
    ASSERT_TRUE(waitUntil([&] { return !framesOut().isEmpty(); }));
    EXPECT_EQ(frames.first(), BrowserBridgeCodec::encode(BrowserBridgeEvent::completed("a", "Grüße/Welt")));

    // A request with a session but a bad type is answered; a frame that is not JSON only logs.
    host.write(frame("{\"v\":1,\"session\":\"a\",\"type\":\"x\"}") + frame("abc"));
    ASSERT_TRUE(waitUntil([&] { return framesOut().size() == 2; }));
    EXPECT_EQ(frames.at(1), BrowserBridgeCodec::encode(BrowserBridgeEvent::failed("a", BrowserBridgeFailureCode::protocol, "Ungültige Nachricht.")));
    host.closeWriteChannel();
    ASSERT_TRUE(host.waitForFinished(5000));
    EXPECT_EQ(host.exitCode(), 0);
    EXPECT_TRUE(host.readAllStandardError().contains("Velmora host: dropped invalid message\n"));
}

TEST_F(HostTest, TheBrowserGoingAwayCancelsTheLastStartedSession)
{
    const struct {
        QList<QByteArray> sent;
        QList<BrowserBridgeRequest> expected;
    } cases[] = {
        {{request("start", "a")}, {BrowserBridgeRequest::start("a"), BrowserBridgeRequest::cancel("a")}},
        {{request("start", "a"), request("start", "b")},
         {BrowserBridgeRequest::start("a"), BrowserBridgeRequest::start("b"), BrowserBridgeRequest::cancel("b")}},
        {{request("start", "a"), request("stop", "a")},
         {BrowserBridgeRequest::start("a"), BrowserBridgeRequest::stop("a"), BrowserBridgeRequest::cancel("a")}},
        {{request("stop", "q")}, {BrowserBridgeRequest::stop("q")}},
    };
    startApplicationSide();
    for (const auto& c : cases) {
        { QMutexLocker lock(&mutex); requests.clear(); }
        launchHost();
        for (const QByteArray& payload : c.sent)
            host.write(frame(payload));
        host.closeWriteChannel();
        ASSERT_TRUE(host.waitForFinished(5000));
        EXPECT_EQ(host.exitCode(), 0);
        EXPECT_TRUE(waitUntil([&] { return received() == c.expected; })) << received().size();
    }
}

TEST_F(HostTest, WithoutTheApplicationTheFirstStartIsAnswered)
{
    launchHost();
    host.write(frame(request("stop", "y")) + frame("junk") + frame(request("start", "z")) + frame(request("start", "w")));
    host.closeWriteChannel();
    ASSERT_TRUE(host.waitForFinished(5000));
    EXPECT_EQ(host.exitCode(), 0);
    ASSERT_EQ(framesOut().size(), 1);
    EXPECT_EQ(frames.first(), BrowserBridgeCodec::encode(BrowserBridgeEvent::failed("z", BrowserBridgeFailureCode::appNotRunning, "Velmora läuft nicht. Bitte die App starten.")));

    QProcess oversized;
    oversized.start(test::velmoraExecutable(), {BrowserBridge::allowedOrigin});
    QByteArray header(4, '\0');
    qToLittleEndian(quint32(65537), header.data());
    oversized.write(header);
    oversized.closeWriteChannel();
    ASSERT_TRUE(oversized.waitForFinished(5000));
    EXPECT_EQ(oversized.exitCode(), 1);
}

TEST_F(HostTest, TheApplicationClosingEndsTheHost)
{
    startApplicationSide();
    launchHost();
    host.write(frame(request("start", "a")));
    ASSERT_TRUE(waitUntil([&] { return received().size() == 1; }));
    server->stop();
    ASSERT_TRUE(host.waitForFinished(5000));
    EXPECT_EQ(host.exitCode(), 0);
}

TEST(BrowserBridgeManifest, RegistersOnlyInstalledCopiesAndWritesOnlyChanges)
{
    QTemporaryDir home;
    // The folder follows $XDG_CONFIG_HOME like every other path, and ~/.config without it.
    const QByteArray savedHome = qgetenv("HOME");
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(BrowserBridgeManifest::manifestPath(),
              home.path() + "/.config/microsoft-edge/NativeMessagingHosts/com.orvane.velmora.json");
    qputenv("XDG_CONFIG_HOME", (home.path() + "/settings").toLocal8Bit());
    const QString manifest = BrowserBridgeManifest::manifestPath();
    EXPECT_EQ(manifest, home.path() + "/settings/microsoft-edge/NativeMessagingHosts/com.orvane.velmora.json");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", savedHome);
        savedConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", savedConfig);
    });
    const struct {
        QString path;
        bool registrable;
    } cases[] = {
        {"/opt/Velmora/bin/velmora", true},
        {home.path() + "/Applications/Velmora/bin/velmora", true},
        {"/opt/../tmp/Velmora/bin/velmora", false},
        {"/optional/Velmora/bin/velmora", false},
        {"/opt/vendor/Velmora/bin/velmora", false},
        {"/work/build/debug/Velmora/bin/velmora", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BrowserBridgeManifest::isRegistrable(c.path, home.path(), false), c.registrable) << c.path.toStdString();
    EXPECT_TRUE(BrowserBridgeManifest::isRegistrable("/anywhere/x", home.path(), true));

    const auto refused = BrowserBridgeManifest::install(QStringLiteral("/work/build/Velmora/bin/velmora"), home.path(), false);
    EXPECT_EQ(refused.text(), QStringLiteral("Not registered: only a copy in /opt or ~/Applications is registered."));
    EXPECT_FALSE(QFile::exists(manifest));
    EXPECT_EQ(BrowserBridgeManifest::install(std::nullopt, home.path(), false).text(), QStringLiteral("The app's executable path is unknown."));

    EXPECT_EQ(BrowserBridgeManifest::install(QStringLiteral("/opt/Velmora/bin/velmora"), home.path(), false).text(),
              QStringLiteral("Registered for Microsoft Edge"));
    const QJsonObject written = QJsonDocument::fromJson(test::readFile(manifest)).object();
    EXPECT_EQ(written.value("path").toString(), QStringLiteral("/opt/Velmora/bin/velmora"));
    EXPECT_EQ(written.value("type").toString(), QStringLiteral("stdio"));
    EXPECT_EQ(written.value("allowed_origins").toArray().first().toString(), BrowserBridge::allowedOrigin);
    // A write replaces the file, so an unchanged inode means it was left alone.
    const auto inodeOf = [](const QString& path) {
        struct stat info {};
        ::stat(QFile::encodeName(path).constData(), &info);
        return info.st_ino;
    };
    const auto inode = inodeOf(manifest);
    BrowserBridgeManifest::install(QStringLiteral("/opt/Velmora/bin/velmora"), home.path(), false);
    EXPECT_EQ(inodeOf(manifest), inode) << "unchanged: not written again";
    BrowserBridgeManifest::install(QStringLiteral("/opt/Other/bin/velmora"), home.path(), false);
    EXPECT_TRUE(test::readFile(manifest).contains("/opt/Other/bin/velmora"));

    EXPECT_EQ(BrowserBridgeManifest::remove().text(), QStringLiteral("Off"));
    EXPECT_FALSE(QFile::exists(manifest));
    EXPECT_EQ(BrowserBridgeManifest::remove().text(), QStringLiteral("Off"));
}

} // namespace
