#include "TextDelivery/TranscriptionNotificationService.h"

#include "Platform/Linux/FreedesktopNotifications.h"

#include "NotificationBus.h"
#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;
using test::PrivateBus;
using test::RecordingServer;

namespace {

bool deliveredBy(const std::function<void(TranscriptionNotificationService::Done)>& operation)
{
    std::optional<bool> delivered;
    operation([&](bool value) { delivered = value; });
    EXPECT_TRUE(test::waitUntil([&] { return delivered.has_value(); })) << "no answer";
    return delivered.value_or(false);
}

NotificationAuthorizationOutcome authorizationOf(TranscriptionNotificationService& service)
{
    std::optional<NotificationAuthorizationOutcome> outcome;
    service.ensureAuthorizationForPreferenceEnable([&](NotificationAuthorizationOutcome o) { outcome = o; });
    EXPECT_TRUE(test::waitUntil([&] { return outcome.has_value(); }));
    return outcome.value_or(NotificationAuthorizationOutcome{});
}

} // namespace

TEST(Notifications, TheFourNoticesWithTheirTextsSoundsAndReplacement)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QDBusConnection serverBus = QDBusConnection::connectToBus(bus.address, QStringLiteral("server"));
    RecordingServer server;
    ASSERT_TRUE(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                         QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    TranscriptionNotificationService service(
        std::make_unique<platform::FreedesktopNotifications>(bus.connect(QStringLiteral("client"))));
    EXPECT_EQ(authorizationOf(service).kind, NotificationAuthorizationOutcome::Kind::authorized);

    EXPECT_TRUE(deliveredBy([&](auto done) { service.notifyTranscriptionCompleted(true, done); }));
    EXPECT_TRUE(deliveredBy([&](auto done) { service.notifyTranscriptionCompleted(false, done); }));
    EXPECT_TRUE(deliveredBy([&](auto done) { service.notifyRecordingDuration(10, done); }));
    EXPECT_TRUE(deliveredBy([&](auto done) { service.notifyRecordingDuration(10, done); }));
    EXPECT_TRUE(deliveredBy([&](auto done) { service.notifyRecordingDuration(20, done); }));
    EXPECT_TRUE(deliveredBy([&](auto done) { service.notifyModelUnavailable("The model is missing.", done); }));
    EXPECT_TRUE(deliveredBy([&](auto done) { service.notifyModelUnavailable("Still missing.", done); }));
    EXPECT_TRUE(deliveredBy([&](auto done) { service.notifyPermissionEnabledProbe(done); }));
    EXPECT_TRUE(deliveredBy([&](auto done) { service.notifyTranscriptionCompleted(true, done); }));

    const struct {
        const char* body;
        bool replacesEarlier; // replaces_id is the id the server gave the notice `earlier`
        int earlier;
        bool sound;
    } expected[] = {
        {"Transcription complete and copied to clipboard.", false, 0, true},
        {"Transcription complete.", false, 0, true},
        {"Recording is running for 10 minutes.", false, 0, true},
        {"Recording is running for 10 minutes.", true, 2, true},
        {"Recording is running for 20 minutes.", false, 0, true},
        {"The model is missing.", false, 0, false},
        {"Still missing.", true, 5, false},
        {"Notifications are enabled.", false, 0, true},
        {"Transcription complete and copied to clipboard.", false, 0, true},
    };
    ASSERT_EQ(server.calls.size(), std::size(expected));
    for (size_t i = 0; i < server.calls.size(); ++i) {
        const auto& call = server.calls[i];
        const auto& want = expected[i];
        EXPECT_EQ(call.appName, "Velmora") << i;
        EXPECT_EQ(call.summary, "Velmora") << i;
        EXPECT_EQ(call.body, QString::fromUtf8(want.body)) << i;
        if (want.sound) {
            EXPECT_EQ(call.hints.value("sound-name"), "message-new-instant") << i;
            EXPECT_FALSE(call.hints.contains("suppress-sound")) << i;
        } else {
            EXPECT_EQ(call.hints.value("suppress-sound"), true) << i;
            EXPECT_FALSE(call.hints.contains("sound-name")) << i;
        }
        EXPECT_EQ(call.replacesId, want.replacesEarlier ? server.answered.at(want.earlier) : 0u) << i;
    }
}

TEST(Notifications, WithoutAServiceEveryOperationAnswersFalse)
{
    PrivateBus bus; // nothing runs, nothing can be started
    ASSERT_FALSE(bus.address.isEmpty());
    TranscriptionNotificationService service(
        std::make_unique<platform::FreedesktopNotifications>(bus.connect(QStringLiteral("lonely"))));
    EXPECT_EQ(authorizationOf(service).kind, NotificationAuthorizationOutcome::Kind::denied);
    EXPECT_FALSE(deliveredBy([&](auto done) { service.notifyTranscriptionCompleted(true, done); }));
    EXPECT_FALSE(deliveredBy([&](auto done) { service.notifyRecordingDuration(10, done); }));
    EXPECT_FALSE(deliveredBy([&](auto done) { service.notifyModelUnavailable("x", done); }));
    EXPECT_FALSE(deliveredBy([&](auto done) { service.notifyPermissionEnabledProbe(done); }));

    // No bus at all: authorization fails with the reason.
    TranscriptionNotificationService unconnected(std::make_unique<platform::FreedesktopNotifications>(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none"))));
    const auto outcome = authorizationOf(unconnected);
    EXPECT_EQ(outcome.kind, NotificationAuthorizationOutcome::Kind::failed);
    EXPECT_FALSE(outcome.message.isEmpty());
    EXPECT_FALSE(deliveredBy([&](auto done) { unconnected.notifyTranscriptionCompleted(false, done); }));
}

TEST(Notifications, AServiceTheBusCanStartCountsAsAuthorized)
{
    // The bus would start /bin/false, which never takes the name: authorized, but not delivered.
    PrivateBus bus(QStringLiteral("/bin/false"));
    ASSERT_FALSE(bus.address.isEmpty());
    TranscriptionNotificationService service(
        std::make_unique<platform::FreedesktopNotifications>(bus.connect(QStringLiteral("activating"))));
    EXPECT_EQ(authorizationOf(service).kind, NotificationAuthorizationOutcome::Kind::authorized);
    EXPECT_FALSE(deliveredBy([&](auto done) { service.notifyTranscriptionCompleted(true, done); }));
}

TEST(Notifications, ARefusingServerIsNotDelivered)
{
    PrivateBus bus;
    QDBusConnection serverBus = QDBusConnection::connectToBus(bus.address, QStringLiteral("refusing-server"));
    RecordingServer server;
    server.fail = true;
    ASSERT_TRUE(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                         QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    TranscriptionNotificationService service(
        std::make_unique<platform::FreedesktopNotifications>(bus.connect(QStringLiteral("client2"))));
    EXPECT_FALSE(deliveredBy([&](auto done) { service.notifyRecordingDuration(5, done); }));
    EXPECT_EQ(server.calls.size(), 1u);
}

