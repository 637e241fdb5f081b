// The global shortcut and the paste keys through the desktop portal, against a
// stand-in that speaks the portal's GlobalShortcuts and RemoteDesktop interfaces
// on the rig's session bus.
#include "HotKeyCore/GlobalHotKeyManager.h"
#include "HotKeyCore/ModifierFlags.h"
#include "Platform/Linux/PortalGlobalShortcutSource.h"
#include "Platform/Linux/PortalKeyInjector.h"
#include "Platform/Linux/PortalRemoteDesktop.h"

#include "HotKeyCore/ShortcutRecorderController.h"
#include "HotKeys/DoubleTapPermissionState.h"
#include "Platform/MemoryPreferencesStore.h"
#include "Settings/HotKeySettingsSection.h"

#include "PortalStandIn.h"
#include "TestSupport.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::platform;
using namespace std::chrono_literals;
using HotKeyCore::controlKeyMask;

namespace {

constexpr std::uint32_t space = 49, letterD = 2, f5 = 96;

TEST(PortalGlobalShortcutSource, NamesTheCombinationAsThePortalDoes)
{
    struct Case {
        ShortcutGrab grab;
        std::optional<QString> trigger;
    };
    const Case cases[] = {
        {{1, 1, space, controlKeyMask, 0}, "CTRL+space"},
        {{1, 1, letterD, controlKeyMask | HotKeyCore::optionKeyMask, 0}, "CTRL+ALT+d"},
        {{1, 1, f5, HotKeyCore::commandKeyMask | HotKeyCore::shiftKeyMask, 0}, "SHIFT+LOGO+F5"},
        {{1, 1, 0xFFFF, controlKeyMask, 0}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PortalGlobalShortcutSource::triggerFor(c.grab), c.trigger) << c.grab.keyCode;
}

TEST(PortalGlobalShortcutSource, BindsThroughThePortalAndFollowsActivated)
{
    test::PortalStandIn portal;
    ASSERT_TRUE(portal.isServing());
    PortalGlobalShortcutSource source;
    QStringList described;
    QList<ShortcutGrabError> failed;
    int presses = 0;
    QObject::connect(&source, &GlobalShortcutSource::bindingDescribed, [&](const QString& d) { described << d; });
    QObject::connect(&source, &GlobalShortcutSource::grabFailed, [&](ShortcutGrabError e) { failed << e; });
    QObject::connect(&source, &GlobalShortcutSource::pressed, [&](std::uint32_t signature, std::uint32_t id) {
        EXPECT_EQ(signature, 7u);
        EXPECT_EQ(id, 1u);
        ++presses;
    });

    EXPECT_EQ(source.grab({7, 1, space, controlKeyMask, 0}), std::nullopt);
    ASSERT_TRUE(test::waitUntil([&] { return !described.isEmpty() || !failed.isEmpty(); }, 5s));
    EXPECT_EQ(described, QStringList{"Ctrl+Space"}) << "the portal's own words";
    EXPECT_EQ(portal.calls, (QStringList{"CreateSession", "BindShortcuts"}));
    ASSERT_EQ(portal.bindRequests.size(), 1);
    EXPECT_EQ(portal.bindRequests.first().id, PortalGlobalShortcutSource::shortcutId);
    EXPECT_EQ(portal.bindRequests.first().properties.value("preferred_trigger").toString(), "CTRL+space");
    EXPECT_FALSE(portal.bindRequests.first().properties.value("description").toString().isEmpty());

    portal.activate(PortalGlobalShortcutSource::shortcutId);
    ASSERT_TRUE(test::waitUntil([&] { return presses == 1; }, 5s));
    portal.activate("someone-else");
    portal.activate(PortalGlobalShortcutSource::shortcutId, "/org/freedesktop/portal/desktop/session/1_1/other");
    portal.activate(PortalGlobalShortcutSource::shortcutId); // heard after the two before it
    ASSERT_TRUE(test::waitUntil([&] { return presses >= 2; }, 5s));
    EXPECT_EQ(presses, 2) << "another shortcut or another session is not ours";

    // The same combination again (a layout change): the desktop is not asked again; had it
    // been, the calls below would hold a third BindShortcuts, or the last one would be for Space.
    EXPECT_EQ(source.grab({7, 1, space, controlKeyMask, 0}), std::nullopt);
    // A new one is bound in the same session; releasing closes it.
    EXPECT_EQ(source.grab({7, 1, letterD, controlKeyMask, 0}), std::nullopt);
    ASSERT_TRUE(test::waitUntil([&] { return described.size() == 2; }, 5s));
    EXPECT_EQ(portal.calls, (QStringList{"CreateSession", "BindShortcuts", "BindShortcuts"}));
    EXPECT_EQ(portal.bindRequests.last().properties.value("preferred_trigger").toString(), "CTRL+d");
    source.release();
    ASSERT_TRUE(test::waitUntil([&] { return portal.sessions.isEmpty(); }, 5s));
    portal.activate(PortalGlobalShortcutSource::shortcutId, "/gone");
    QTest::qWait(200);
    EXPECT_EQ(presses, 2);
    EXPECT_TRUE(failed.isEmpty());
}

// Let go of while the desktop is still making its session (a hot key re-registered right
// away, or Velmora quitting): that session goes too and binds nothing, or it would hold
// the shortcut for as long as the connection lasts.
TEST(PortalGlobalShortcutSource, ASessionStillBeingMadeIsClosedWhenLetGo)
{
    test::PortalStandIn portal;
    ASSERT_TRUE(portal.isServing());
    {
        PortalGlobalShortcutSource source;
        EXPECT_EQ(source.grab({7, 1, space, controlKeyMask, 0}), std::nullopt);
        source.release(); // the same turn: CreateSession is on its way, its answer is not
        ASSERT_TRUE(test::waitUntil([&] { return portal.calls.contains("Close"); }, 5s)) << portal.calls.join(' ').toStdString();
        QTest::qWait(200);
        EXPECT_TRUE(portal.sessions.isEmpty()) << portal.sessions.join(' ').toStdString();
        EXPECT_TRUE(portal.bindRequests.isEmpty()) << "nothing bound once let go";

        EXPECT_EQ(source.grab({7, 1, space, controlKeyMask, 0}), std::nullopt);
    } // gone while the second session is being made: it is closed before the source is
    EXPECT_TRUE(test::waitUntil([&] { return portal.calls.count("Close") == 2 && portal.sessions.isEmpty(); }, 5s))
        << portal.calls.join(' ').toStdString() << " open: " << portal.sessions.join(' ').toStdString();
}

// The hot-key manager on the portal: registered once the desktop has bound it,
// pressed on Activated, and a declined binding kept visible as its error.
TEST(PortalGlobalShortcutSource, TheHotKeyManagerShowsTheBindingOrItsRefusal)
{
    test::PortalStandIn portal;
    ASSERT_TRUE(portal.isServing());
    HotKeyCore::GlobalHotKeyManager manager("VLMR", std::make_unique<PortalGlobalShortcutSource>(), nullptr);
    int presses = 0;
    manager.onHotKeyPressed = [&] { ++presses; };
    manager.registerSettings(HotKeyCore::HotKeySettings{});
    ASSERT_TRUE(test::waitUntil([&] { return !manager.bindingDescription().isEmpty(); }, 5s));
    EXPECT_TRUE(manager.isRegistered());
    EXPECT_EQ(manager.bindingDescription(), "Ctrl+Space");
    EXPECT_EQ(manager.registrationError(), std::nullopt);
    portal.activate(PortalGlobalShortcutSource::shortcutId);
    EXPECT_TRUE(test::waitUntil([&] { return presses == 1; }, 5s));

    test::PortalStandIn* declining = &portal;
    declining->declineBinding = true;
    HotKeyCore::GlobalHotKeyManager refused("VLMR", std::make_unique<PortalGlobalShortcutSource>(), nullptr);
    QSignalSpy changed(&refused, &HotKeyCore::GlobalHotKeyManager::registrationChanged);
    refused.registerSettings(HotKeyCore::HotKeySettings{});
    ASSERT_TRUE(test::waitUntil([&] { return refused.registrationError().has_value(); }, 5s));
    EXPECT_EQ(refused.registrationError(), ShortcutGrabError::declined);
    EXPECT_FALSE(refused.isRegistered());
    EXPECT_EQ(describe(ShortcutGrabError::declined),
              "The desktop did not bind the hot key (the request was cancelled or refused).");
    EXPECT_GE(changed.count(), 1);
}

// The hot-key settings say how the desktop bound the combination.
TEST(PortalGlobalShortcutSource, TheSettingsShowTheDesktopsDescription)
{
    test::PortalStandIn portal;
    portal.triggerDescription = "Press Ctrl and Space";
    HotKeyCore::GlobalHotKeyManager manager("VLMR", std::make_unique<PortalGlobalShortcutSource>(), nullptr);
    platform::MemoryPreferencesStore defaults;
    HotKeyCore::ShortcutRecorderController recorder;
    DoubleTapPermissionState permission([] { return true; }, [] { return DoubleTapPermissionState::Settings{}; }, [] {});
    HotKeySettingsSection section(defaults, recorder, permission, [] {}, nullptr, QString(), &manager);
    section.show();
    auto* binding = section.findChild<QLabel*>("shortcutBinding");
    ASSERT_NE(binding, nullptr);
    EXPECT_FALSE(binding->isVisible()) << "nothing bound yet";
    manager.registerSettings(HotKeyCore::HotKeySettings{});
    ASSERT_TRUE(test::waitUntil([&] { return binding->isVisible(); }, 5s));
    EXPECT_EQ(binding->text(), "Bound by the desktop as Press Ctrl and Space");
}

// The paste keys through the portal's RemoteDesktop keyboard: nothing before the
// user allowed it, the chord as keysyms, every key up again, and the desktop's
// permission kept so the next start is not asked again.
TEST(PortalKeyInjector, PastesThroughTheRemoteDesktopKeyboardAndKeepsThePermission)
{
    test::PortalStandIn portal;
    ASSERT_TRUE(portal.isServing());
    QString stored;
    const PortalRemoteDesktop::TokenStore tokens{[&] { return stored; }, [&](const QString& t) { stored = t; }};

    auto first = std::make_unique<PortalRemoteDesktop>(tokens);
    PortalKeyInjector injector(first.get());
    EXPECT_FALSE(injector.canPost());
    EXPECT_EQ(injector.paste(PasteChord::controlV, 0ms), KeyInjectionError::unavailable) << "not before the user allowed it";
    first->start();
    ASSERT_TRUE(test::waitUntil([&] { return first->isStarted(); }, 5s)) << portal.calls.join(' ').toStdString();
    EXPECT_EQ(portal.calls, (QStringList{"CreateSession", "SelectDevices", "Start"}));
    ASSERT_EQ(portal.deviceSelections.size(), 1);
    EXPECT_EQ(portal.deviceSelections.first().value("types").toUInt(), 1u) << "the keyboard only";
    EXPECT_EQ(portal.deviceSelections.first().value("persist_mode").toUInt(), 2u);
    EXPECT_FALSE(portal.deviceSelections.first().contains("restore_token")) << "nothing to restore the first time";
    EXPECT_EQ(stored, "token-1");

    struct Case {
        PasteChord chord;
        QList<std::pair<int, uint>> keys;
    };
    const Case cases[] = {
        {PasteChord::controlV, {{0xffe3, 1}, {0x76, 1}, {0x76, 0}, {0xffe3, 0}}},
        {PasteChord::controlShiftV, {{0xffe3, 1}, {0xffe1, 1}, {0x76, 1}, {0x76, 0}, {0xffe1, 0}, {0xffe3, 0}}},
        {PasteChord::shiftInsert, {{0xffe1, 1}, {0xff63, 1}, {0xff63, 0}, {0xffe1, 0}}},
    };
    for (const Case& c : cases) {
        portal.keys.clear();
        std::optional<KeyInjectionError> error = KeyInjectionError::noKey;
        std::atomic<bool> done = false;
        // From a worker, as the inserter sends them, while this thread answers as the portal.
        std::thread sender([&] {
            error = injector.paste(c.chord, 500ms);
            done = true;
        });
        ASSERT_TRUE(test::waitUntil([&] { return done.load(); }, 10s));
        sender.join();
        EXPECT_EQ(error, std::nullopt);
        EXPECT_EQ(portal.keys, c.keys) << int(c.chord);
    }
    first.reset();
    ASSERT_TRUE(test::waitUntil([&] { return portal.sessions.isEmpty(); }, 5s)) << "the session is closed";

    // The next start hands the permission back; a desktop that says no leaves the keys unsent.
    portal.calls.clear();
    portal.declineRemoteDesktop = true;
    PortalRemoteDesktop second(tokens);
    int failures = 0;
    QObject::connect(&second, &PortalRemoteDesktop::failed, [&] { ++failures; });
    second.start();
    ASSERT_TRUE(test::waitUntil([&] { return failures == 1; }, 5s));
    ASSERT_EQ(portal.deviceSelections.size(), 2);
    EXPECT_EQ(portal.deviceSelections.last().value("restore_token").toString(), "token-1");
    EXPECT_FALSE(second.isStarted());
    EXPECT_EQ(PortalKeyInjector(&second).paste(PasteChord::controlV, 0ms), KeyInjectionError::unavailable);
    EXPECT_EQ(stored, "token-1") << "a refusal keeps the old permission";
}

} // namespace
