#include "BrowserBridge/BrowserBridgeCodec.h"
#include "BrowserBridge/BrowserBridgeCoordinator.h"
#include "BrowserBridge/BrowserBridgeManifest.h"
#include "BrowserBridge/LineDecoder.h"
#include "Platform/Linux/BridgeSocket.h"
#include "Platform/MemoryPreferencesStore.h"
#include "Preferences/PreferenceKeys.h"

#include "TestSupport.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <map>

using namespace velmora;

namespace {

// The controller's browser sessions, as far as the coordinator can tell them apart.
struct FakeSessions : BrowserSessionController {
    std::vector<QString> calls;
    std::map<QString, Emit> emits;
    std::optional<QString> running;

    bool startBrowserSession(const QString& id, Emit send) override
    {
        calls.push_back("start " + id);
        if (running) {
            send(BrowserBridgeEvent::failed(id, BrowserBridgeFailureCode::busy, BrowserBridgeMessages::busy));
            return false;
        }
        running = id;
        emits[id] = send;
        send(BrowserBridgeEvent::recording(id));
        return true;
    }
    void stopBrowserSession(const QString& id) override
    {
        calls.push_back("stop " + id);
        emits[id](BrowserBridgeEvent::transcribing(id));
        emits[id](BrowserBridgeEvent::completed(id, "Hallo"));
        running.reset();
    }
    void cancelBrowserSession(const QString& id) override
    {
        calls.push_back("cancel " + id);
        if (running == id) {
            emits[id](BrowserBridgeEvent::canceled(id));
            running.reset();
        }
    }
};

// A host at the other end of the socket.
class Peer {
public:
    explicit Peer(int fd) : m_fd(fd) {}
    static std::optional<Peer> connect(const QString& path)
    {
        const auto fd = BridgeSocket::connect(path);
        return fd ? std::optional(Peer(*fd)) : std::nullopt;
    }
    void close() { ::close(m_fd); }
    void send(const BrowserBridgeRequest& request)
    {
        ASSERT_TRUE(BridgeSocket::writeAll(m_fd, LineDecoder::line(BrowserBridgeCodec::encode(request))));
    }
    // The next line, read without blocking the main thread that answers.
    QByteArray next()
    {
        test::waitUntil([&] {
            char chunk[4096];
            const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (got > 0)
                m_buffer.append(chunk, got);
            return m_buffer.contains('\n');
        });
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0)
            return {};
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        return line;
    }
    // Nothing arrives while the main thread runs a little.
    bool silent()
    {
        QTest::qWait(100);
        char chunk[64];
        return m_buffer.isEmpty() && ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT) < 0;
    }

private:
    int m_fd;
    QByteArray m_buffer;
};

QByteArray line(const BrowserBridgeEvent& event)
{
    return BrowserBridgeCodec::encode(event);
}

struct Rig {
    QTemporaryDir dir;
    platform::MemoryPreferencesStore defaults;
    FakeSessions sessions;
    std::unique_ptr<BrowserBridgeCoordinator> coordinator;

    explicit Rig(bool allowAnyPath = false, std::optional<QString> socket = std::nullopt)
    {
        coordinator = std::make_unique<BrowserBridgeCoordinator>(&defaults, dir.path(),
                                                                 std::optional<QString>(dir.path() + "/elsewhere/bin/velmora"),
                                                                 socket.value_or(dir.path() + "/bridge/bridge.sock"),
                                                                 allowAnyPath);
    }
    QString socket() const { return dir.path() + "/bridge/bridge.sock"; }
    void attach()
    {
        coordinator->setController(&sessions);
        coordinator->apply();
    }
};

} // namespace

TEST(BrowserBridgeCoordinator, PreferenceAndStatus)
{
    {
        Rig rig;
        EXPECT_TRUE(rig.coordinator->isEnabled()) << "on when nothing is stored";
        EXPECT_EQ(rig.coordinator->status(), "") << "nothing applied yet";
        rig.attach();
        EXPECT_TRUE(rig.coordinator->isListening());
        EXPECT_EQ(rig.coordinator->status(), "Not registered: only a copy in /opt or ~/Applications is registered.")
            << "a copy outside the application folders still listens";

        rig.coordinator->setEnabled(false);
        EXPECT_FALSE(rig.coordinator->isListening());
        EXPECT_FALSE(QFileInfo::exists(rig.socket()));
        EXPECT_EQ(rig.coordinator->status(), "Off");
        EXPECT_EQ(rig.defaults.boolValue(PreferenceKeys::browserIntegration), false);
    }
    {
        Rig stored(true);
        (void)stored.defaults.setBool(PreferenceKeys::browserIntegration, false);
        stored.coordinator = std::make_unique<BrowserBridgeCoordinator>(&stored.defaults, stored.dir.path(),
                                                                        std::optional<QString>("/opt/Velmora/bin/velmora"),
                                                                        stored.socket(), true);
        EXPECT_FALSE(stored.coordinator->isEnabled());
        QSignalSpy statuses(stored.coordinator.get(), &BrowserBridgeCoordinator::statusChanged);
        stored.coordinator->setEnabled(false); // the same value: nothing happens
        EXPECT_TRUE(statuses.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(stored.socket()));
        stored.coordinator->setController(&stored.sessions);
        stored.coordinator->setEnabled(true);
        EXPECT_TRUE(stored.coordinator->isListening());
        EXPECT_EQ(stored.coordinator->status(), "Registered for Microsoft Edge");
    }
    {
        Rig tooLong(false, QTemporaryDir().path() + "/" + QString(120, 'p') + "/b.sock");
        tooLong.attach();
        EXPECT_EQ(tooLong.coordinator->status(), "Bridge socket failed: Socket path is too long.");
        EXPECT_FALSE(tooLong.coordinator->isListening());
    }
}

TEST(BrowserBridgeCoordinator, OneSessionOwnedByOneConnection)
{
    Rig rig;
    rig.attach();
    auto a = Peer::connect(rig.socket());
    auto b = Peer::connect(rig.socket());
    ASSERT_TRUE(a && b);

    a->send(BrowserBridgeRequest::start("a"));
    EXPECT_EQ(a->next(), line(BrowserBridgeEvent::recording("a")));
    EXPECT_EQ(rig.coordinator->activeSessionID(), "a");

    b->send(BrowserBridgeRequest::stop("a"));
    b->send(BrowserBridgeRequest::cancel("a"));
    b->send(BrowserBridgeRequest::start("a")); // even the same identifier: refused, A keeps it
    EXPECT_EQ(b->next(), line(BrowserBridgeEvent::failed("a", BrowserBridgeFailureCode::busy, BrowserBridgeMessages::busy)));
    b->send(BrowserBridgeRequest::start("b"));
    EXPECT_EQ(b->next(), line(BrowserBridgeEvent::failed("b", BrowserBridgeFailureCode::busy, BrowserBridgeMessages::busy)));
    EXPECT_EQ(rig.sessions.calls, (std::vector<QString>{"start a", "start a", "start b"}))
        << "stop and cancel from another connection are ignored";
    EXPECT_EQ(rig.coordinator->activeSessionID(), "a");

    a->send(BrowserBridgeRequest::stop("a"));
    EXPECT_EQ(a->next(), line(BrowserBridgeEvent::transcribing("a")));
    EXPECT_EQ(a->next(), line(BrowserBridgeEvent::completed("a", "Hallo")));
    EXPECT_FALSE(rig.coordinator->activeSessionID()) << "the result ends the session";
    a->send(BrowserBridgeRequest::stop("a"));
    EXPECT_TRUE(a->silent()) << "a stop for a finished session is ignored";
    EXPECT_EQ(rig.sessions.calls.back(), "stop a");
    EXPECT_EQ(std::count(rig.sessions.calls.begin(), rig.sessions.calls.end(), "stop a"), 1);
    a->close();
    b->close();
}

TEST(BrowserBridgeCoordinator, TheOwnerLeavingOrTheBridgeGoingOffCancels)
{
    Rig rig;
    rig.attach();
    auto a = Peer::connect(rig.socket());
    ASSERT_TRUE(a);
    a->send(BrowserBridgeRequest::start("a"));
    EXPECT_EQ(a->next(), line(BrowserBridgeEvent::recording("a")));
    a->close();
    ASSERT_TRUE(test::waitUntil([&] { return !rig.coordinator->activeSessionID(); }));
    EXPECT_EQ(rig.sessions.calls.back(), "cancel a");

    auto c = Peer::connect(rig.socket());
    ASSERT_TRUE(c);
    c->send(BrowserBridgeRequest::start("c"));
    EXPECT_EQ(c->next(), line(BrowserBridgeEvent::recording("c")));
    rig.coordinator->setEnabled(false);
    EXPECT_EQ(rig.sessions.calls.back(), "cancel c");
    EXPECT_FALSE(rig.coordinator->activeSessionID());
    c->close();
}

TEST(BrowserBridgeCoordinator, RequestsOfAnOldServerOrWithTheBridgeOffAreRefused)
{
    Rig rig;
    rig.attach();
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    auto connection = std::make_shared<BrowserBridgeConnection>(pair[0], std::chrono::seconds(2));
    Peer peer(pair[1]);
    const auto refusal = [](const char* session) {
        return line(BrowserBridgeEvent::failed(session, BrowserBridgeFailureCode::bridgeDisabled,
                                               "Die Browser-Anbindung von Velmora ist ausgeschaltet."));
    };
    rig.coordinator->handle(BrowserBridgeRequest::start("old"), connection, rig.coordinator->generation() - 1);
    EXPECT_EQ(peer.next(), refusal("old"));
    rig.coordinator->setEnabled(false);
    for (const auto& request : {BrowserBridgeRequest::start("x"), BrowserBridgeRequest::stop("x"), BrowserBridgeRequest::cancel("x")}) {
        rig.coordinator->handle(request, connection, rig.coordinator->generation());
        EXPECT_EQ(peer.next(), refusal("x"));
    }
    EXPECT_TRUE(rig.sessions.calls.empty());
    peer.close();
}
