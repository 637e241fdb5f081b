#include "SingleInstance/DuplicateLaunchRequestStore.h"
#include "SingleInstance/DuplicateLaunchSignal.h"
#include "SingleInstance/SingleInstanceController.h"
#include "SingleInstance/SingleInstanceStartup.h"

#include "Platform/Linux/SocketSignal.h"
#include "Platform/MemoryPreferencesStore.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>

using namespace SingleInstance;
using velmora::test::readFile;
using velmora::test::waitUntil;
using velmora::test::writeFile;

using namespace std::chrono_literals;

namespace {

QDateTime at(const char* time)
{
    return QDateTime::fromString(QStringLiteral("2025-01-31T%1Z").arg(QLatin1String(time)), Qt::ISODate);
}

class DuplicateLaunchTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    // Each test gets its own signal name so parallel runs never meet.
    QString signalName = QStringLiteral("velmora.test.%1.%2").arg(::getpid()).arg(QUuid::createUuid().toString(QUuid::Id128));

    SingleInstanceConfiguration configuration(SingleInstancePolicy policy = SingleInstancePolicy::alwaysSingle(),
                                              QString base = {}) const
    {
        return {QStringLiteral("com.orvane.velmora"), std::move(policy),
                SingleInstanceLockLocation::directory(base.isEmpty() ? dir.path() : base), std::nullopt, signalName};
    }
    QString requestsFolder() const { return configuration().duplicateLaunchRequestsPath(); }
    QStringList requestFiles() const { return QDir(requestsFolder()).entryList(QDir::Files); }
};

TEST_F(DuplicateLaunchTest, RequestJsonRoundTripsWithUtcSeconds)
{
    const DuplicateLaunchRequest request{{QStringLiteral("--flag"), QStringLiteral("ä b")},
                                         {QUrl::fromLocalFile(QStringLiteral("/Users/a/b c.txt"))},
                                         at("12:00:00")};
    const QByteArray json = request.toJson();
    EXPECT_TRUE(json.contains("\"createdAt\":\"2025-01-31T12:00:00Z\"")) << json.toStdString();
    EXPECT_TRUE(json.contains("file:///Users/a/b%20c.txt")) << json.toStdString();
    EXPECT_EQ(DuplicateLaunchRequest::fromJson(json), request);

    const QByteArray rejected[] = {
        "", "[]", R"({"arguments": [], "fileURLs": []})",
        R"({"arguments": [1], "fileURLs": [], "createdAt": "2025-01-31T12:00:00Z"})",
        R"({"arguments": [], "fileURLs": ["http://x/y"], "createdAt": "2025-01-31T12:00:00Z"})",
        R"({"arguments": [], "fileURLs": [], "createdAt": "yesterday"})",
    };
    for (const QByteArray& bytes : rejected)
        EXPECT_FALSE(DuplicateLaunchRequest::fromJson(bytes)) << bytes.toStdString();
}

TEST_F(DuplicateLaunchTest, AnEmptyRequestWritesNothingAndAnotherWritesOneUuidFile)
{
    EXPECT_FALSE(DuplicateLaunchRequestStore::post({{}, {}, at("12:00:00")}, configuration()));
    EXPECT_TRUE(requestFiles().isEmpty());

    const DuplicateLaunchRequest request{{QStringLiteral("--open")}, {}, at("12:00:00")};
    EXPECT_FALSE(DuplicateLaunchRequestStore::post(request, configuration()));
    const QStringList files = requestFiles();
    ASSERT_EQ(files.size(), 1);
    static const QRegularExpression uuidName(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.json$"));
    EXPECT_TRUE(uuidName.match(files.first()).hasMatch()) << files.first().toStdString();
    EXPECT_EQ(DuplicateLaunchRequest::fromJson(readFile(requestsFolder() + QLatin1Char('/') + files.first())), request);
}

TEST_F(DuplicateLaunchTest, PendingRequestsComeOldestFirstAndDamagedOnesAreRemoved)
{
    QDir().mkpath(requestsFolder());
    const char* times[] = {"12:00:03", "12:00:01", "12:00:02"};
    for (const char* time : times) {
        writeFile(requestsFolder() + QStringLiteral("/%1.json").arg(QLatin1String(time).mid(6)),
                  DuplicateLaunchRequest{{QLatin1String(time)}, {}, at(time)}.toJson());
    }
    writeFile(requestsFolder() + QStringLiteral("/notes.txt"), "keep me");
    writeFile(requestsFolder() + QStringLiteral("/broken.json"), "{not json");

    const auto requests = DuplicateLaunchRequestStore::consumePending(configuration());
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(requests[0].createdAt, at("12:00:01"));
    EXPECT_EQ(requests[1].createdAt, at("12:00:02"));
    EXPECT_EQ(requests[2].createdAt, at("12:00:03"));
    EXPECT_EQ(requestFiles(), QStringList{QStringLiteral("notes.txt")});
    EXPECT_TRUE(DuplicateLaunchRequestStore::consumePending(configuration()).isEmpty());
}

TEST_F(DuplicateLaunchTest, AMissingFolderIsAnEmptyList)
{
    EXPECT_TRUE(DuplicateLaunchRequestStore::consumePending(configuration()).isEmpty());
}

TEST_F(DuplicateLaunchTest, ASecondCopyWakesTheFirstWhichReceivesItsRequestOnce)
{
    auto first = SingleInstanceController::start(configuration(), {{}, {}, QDateTime::currentDateTimeUtc()});
    ASSERT_EQ(first.kind, SingleInstanceStartupResult::Kind::run);
    ASSERT_TRUE(first.controller->isEnforcingSingleInstance());
    ASSERT_TRUE(first.controller->isObserving());

    QList<QList<DuplicateLaunchRequest>> calls;
    Qt::HANDLE handlerThread = nullptr;
    first.controller->setDuplicateLaunchHandler([&](const QList<DuplicateLaunchRequest>& requests) {
        handlerThread = QThread::currentThreadId();
        calls << requests;
    });

    const DuplicateLaunchRequest request{{QStringLiteral("--again")}, {}, QDateTime::currentDateTimeUtc()};
    auto second = SingleInstanceController::start(configuration(), request);
    EXPECT_EQ(second.kind, SingleInstanceStartupResult::Kind::alreadyRunning);
    EXPECT_FALSE(second.controller);

    ASSERT_TRUE(waitUntil([&] { return !calls.isEmpty(); }));
    EXPECT_EQ(handlerThread, QThread::currentThreadId()) << "delivered on the main thread";
    ASSERT_EQ(calls.first().size(), 1);
    EXPECT_EQ(calls.first().first().arguments, request.arguments);
    EXPECT_TRUE(requestFiles().isEmpty()) << "the record is consumed";
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.size(), 1);
}

TEST_F(DuplicateLaunchTest, SignalsBeforeTheHandlerAreDeliveredOnceWhenItArrives)
{
    auto first = SingleInstanceController::start(configuration(), {{}, {}, QDateTime::currentDateTimeUtc()});
    ASSERT_EQ(first.kind, SingleInstanceStartupResult::Kind::run);
    DuplicateLaunchSignal::post(signalName);
    DuplicateLaunchSignal::post(signalName);
    // Let both signals reach the main thread before anyone listens.
    ASSERT_TRUE(waitUntil([&] { return first.controller->hasPendingActivation(); }));
    waitUntil([] { return false; }, std::chrono::milliseconds(200));

    int activations = 0;
    first.controller->setActivationHandler([&] { ++activations; });
    EXPECT_EQ(activations, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(activations, 1);

    DuplicateLaunchSignal::post(signalName);
    EXPECT_TRUE(waitUntil([&] { return activations == 2; }));
}

TEST_F(DuplicateLaunchTest, WithMultipleInstancesAllowedNeitherLocksNorListens)
{
    auto store = std::make_shared<velmora::platform::MemoryPreferencesStore>();
    store->setBool(QStringLiteral("allowMultipleInstances"), true);
    const auto policy = SingleInstancePolicy::userDefaults(store, QStringLiteral("allowMultipleInstances"));
    auto first = SingleInstanceController::start(configuration(policy), {{}, {}, QDateTime::currentDateTimeUtc()});
    auto second = SingleInstanceController::start(configuration(policy), {{QStringLiteral("x")}, {}, QDateTime::currentDateTimeUtc()});
    for (auto* result : {&first, &second}) {
        ASSERT_EQ(result->kind, SingleInstanceStartupResult::Kind::run);
        EXPECT_FALSE(result->controller->isEnforcingSingleInstance());
        EXPECT_FALSE(result->controller->isObserving());
    }
    EXPECT_TRUE(requestFiles().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(configuration().lockPath()));
}

TEST_F(DuplicateLaunchTest, ALockFailureStillWakesTheRunningCopyAndReportsTheError)
{
    auto running = SingleInstanceController::start(configuration(), {{}, {}, QDateTime::currentDateTimeUtc()});
    ASSERT_EQ(running.kind, SingleInstanceStartupResult::Kind::run);
    int activations = 0;
    running.controller->setActivationHandler([&] { ++activations; });

    writeFile(dir.path() + QStringLiteral("/file"), "x");
    std::optional<InstanceLockError> reported;
    auto controller = SingleInstanceStartup::start(configuration(SingleInstancePolicy::alwaysSingle(),
                                                                 dir.path() + QStringLiteral("/file")),
                                                   {{}, {}, QDateTime::currentDateTimeUtc()},
                                                   [&](const InstanceLockError& error) { reported = error; });
    EXPECT_FALSE(controller);
    EXPECT_EQ(reported, InstanceLockError::createFolderFailed(ENOTDIR));
    EXPECT_TRUE(waitUntil([&] { return activations == 1; }));
}

TEST_F(DuplicateLaunchTest, SignalsFromAnotherUserAreIgnored)
{
    std::atomic<int> accepted = 0;
    std::atomic<int> checked = 0;
    auto listener = velmora::platform::SocketSignal::Listener::start(
        signalName, [&] { ++accepted; }, [&](uid_t uid) {
            ++checked;
            return uid != ::getuid();
        });
    ASSERT_TRUE(listener);
    DuplicateLaunchSignal::post(signalName);
    ASSERT_TRUE(waitUntil([&] { return checked == 1; }));
    // Asking whether the name is alive is a connection too, and is refused like the signal.
    auto taken = velmora::platform::SocketSignal::Listener::start(signalName, [] {});
    EXPECT_FALSE(taken) << "a name that is already bound cannot be observed twice";
    listener->cancel(); // joins the listener, so a wrongly accepted signal would have been counted
    EXPECT_EQ(accepted, 0);
    listener->cancel();
}

TEST_F(DuplicateLaunchTest, AListenerOfAnotherUserIsNeverSignalled)
{
    namespace Signal = velmora::platform::SocketSignal;
    std::atomic<int> accepted = 0;
    auto listener = Signal::Listener::start(signalName, [&] { ++accepted; }, [](uid_t) { return true; });
    ASSERT_TRUE(listener);

    // The sender finds that the listener is not of its user: logged, not signalled.
    EXPECT_EQ(Signal::post(signalName, {}, [](uid_t) { return false; }), Signal::PostResult::refusedListener);
    // A bare connection without the signal's byte is no signal either.
    const int bare = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(Signal::socketPath(signalName).value_or(QString()));
    ASSERT_FALSE(path.isEmpty());
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(::connect(bare, reinterpret_cast<const sockaddr*>(&address), socklen_t(sizeof address)), 0);
    ::close(bare);

    EXPECT_EQ(Signal::post(signalName), Signal::PostResult::delivered);
    ASSERT_TRUE(waitUntil([&] { return accepted >= 1; }));
    listener->cancel(); // connections are served in order: the two before were seen first
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(Signal::post(signalName), Signal::PostResult::noListener);
}

// Another local user (a real second account, as root makes it) gets to the name first, as an
// abstract socket name allowed anyone to: Velmora's name is out of its reach, and works.
TEST_F(DuplicateLaunchTest, AnotherUserCannotTakeTheName)
{
    namespace Signal = velmora::platform::SocketSignal;
    if (::getuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    const auto path = Signal::socketPath(signalName);
    ASSERT_TRUE(path);
    QProcess squatter;
    squatter.start("setpriv", {"--reuid=4242", "--regid=4242", "--clear-groups", "/usr/bin/python3", "-c",
                               "import socket, sys, time\n"
                               "held = []\n"
                               "for name in ['\\0' + sys.argv[1], sys.argv[2]]:\n"
                               "    s = socket.socket(socket.AF_UNIX)\n"
                               "    try:\n"
                               "        s.bind(name); s.listen(8); held.append(s); print('bound', flush=True)\n"
                               "    except OSError as e:\n"
                               "        print('refused', e.errno, flush=True)\n"
                               "time.sleep(60)\n",
                               QStringLiteral("%1.%2").arg(signalName).arg(::getuid()), *path});
    QByteArray said;
    ASSERT_TRUE(waitUntil([&] { return (said += squatter.readAllStandardOutput()).count('\n') == 2; }, 10s))
        << said.toStdString() << squatter.readAllStandardError().toStdString();
    EXPECT_EQ(said, "bound\nrefused 13\n") << "the old abstract name could be taken; the private folder cannot be entered";

    std::atomic<int> accepted = 0;
    auto listener = Signal::Listener::start(signalName, [&] { ++accepted; });
    ASSERT_TRUE(listener) << "the squatter does not keep Velmora from listening";
    EXPECT_EQ(Signal::post(signalName), Signal::PostResult::delivered);
    EXPECT_TRUE(waitUntil([&] { return accepted == 1; }));
    squatter.kill();
    squatter.waitForFinished();
}

// A copy that was killed leaves its socket behind; the next one listens in its place, while a
// name someone answers on is never taken over.
TEST_F(DuplicateLaunchTest, ALeftOverSocketIsReplacedAndALiveOneIsNot)
{
    namespace Signal = velmora::platform::SocketSignal;
    const auto path = Signal::socketPath(signalName);
    ASSERT_TRUE(path);
    const int left = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(*path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    ASSERT_EQ(::bind(left, reinterpret_cast<const sockaddr*>(&address), socklen_t(sizeof address)), 0);
    ::close(left); // bound, never listened, its process gone: the file stays
    ASSERT_TRUE(QFileInfo::exists(*path));

    std::atomic<int> accepted = 0;
    auto listener = Signal::Listener::start(signalName, [&] { ++accepted; });
    ASSERT_TRUE(listener);
    EXPECT_FALSE(Signal::Listener::start(signalName, [] {})) << "a live listener keeps its name";
    EXPECT_EQ(Signal::post(signalName), Signal::PostResult::delivered);
    EXPECT_TRUE(waitUntil([&] { return accepted == 1; }));
    listener->cancel();
    EXPECT_FALSE(QFileInfo::exists(*path)) << "the socket goes with its listener";
}

TEST_F(DuplicateLaunchTest, DestroyingTheControllerStopsObservingAndReleasesTheLock)
{
    auto first = SingleInstanceController::start(configuration(), {{}, {}, QDateTime::currentDateTimeUtc()});
    ASSERT_EQ(first.kind, SingleInstanceStartupResult::Kind::run);
    first.controller.reset();
    auto again = SingleInstanceController::start(configuration(), {{}, {}, QDateTime::currentDateTimeUtc()});
    EXPECT_EQ(again.kind, SingleInstanceStartupResult::Kind::run);
    EXPECT_TRUE(again.controller->isObserving()) << "the signal name was freed";
}

} // namespace
