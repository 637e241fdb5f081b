#include "FakeActivationInput.h"

#include "HotKeyCore/GlobalHotKeyManager.h"
#include "HotKeyCore/ModifierFlags.h"
#include "HotKeys/DoubleTapModifierManager.h"
#include "HotKeys/DoubleTapPermissionState.h"
#include "HotKeys/HotKeyModeApplication.h"
#include "HotKeys/HotKeyModeStore.h"
#include "HotKeys/StandardHotKeySettingsStore.h"
#include "Platform/MemoryPreferencesStore.h"
#include "Preferences/PreferenceKeys.h"

#include <gtest/gtest.h>

using namespace velmora;
using test::ScriptedModifierTaps;

namespace {

constexpr std::uint64_t ctrl = HotKeyCore::controlFlag, alt = HotKeyCore::optionFlag,
                        shift = HotKeyCore::shiftFlag, super = HotKeyCore::commandFlag;
constexpr std::uint64_t capsLock = 0x10000, function = 0x800000;

struct Report {
    double time;
    std::uint64_t flags;
};

// Feeds the reports and answers at which of them the double tap fired.
std::vector<int> firings(const std::vector<Report>& reports, DoubleTapModifier target = DoubleTapModifier::control,
                         double threshold = 0.3)
{
    DoubleTapModifierManager manager(std::make_unique<ScriptedModifierTaps>());
    manager.targetModifier = target;
    manager.threshold = threshold;
    std::vector<int> fired;
    int index = 0;
    manager.onDoubleTap = [&] { fired.push_back(index); };
    for (; index < static_cast<int>(reports.size()); ++index)
        manager.handleFlagsChanged(reports[index].time, reports[index].flags);
    return fired;
}

} // namespace

TEST(DoubleTapDetector, Sequences)
{
    const struct {
        const char* name;
        std::vector<Report> reports;
        std::vector<int> fired;
        DoubleTapModifier target = DoubleTapModifier::control;
    } cases[] = {
        {"second press 0.2 s after the release fires, on the press",
         {{0.0, ctrl}, {0.1, 0}, {0.3, ctrl}, {0.4, 0}}, {2}},
        {"a pause of 0.35 s does not; that press starts a new sequence",
         {{0.0, ctrl}, {0.1, 0}, {0.45, ctrl}, {0.5, 0}, {0.7, ctrl}}, {4}},
        {"exactly the threshold still fires", {{0.0, ctrl}, {0.5, 0}, {0.8, ctrl}}, {2}},
        {"how long the key is held does not count", {{0.0, ctrl}, {5.0, 0}, {5.1, ctrl}}, {2}},
        {"four quick taps fire on the second, third and fourth press",
         {{0.0, ctrl}, {0.05, 0}, {0.1, ctrl}, {0.15, 0}, {0.2, ctrl}, {0.25, 0}, {0.3, ctrl}}, {2, 4, 6}},
        {"Control held while Shift goes down and up records no tap",
         {{0.0, ctrl}, {0.05, ctrl | shift}, {0.1, ctrl}, {0.15, 0}, {0.2, ctrl}}, {}},
        {"...and the press after that counts as a first tap",
         {{0.0, ctrl}, {0.05, ctrl | shift}, {0.1, ctrl}, {0.15, 0}, {0.2, ctrl}, {0.25, 0}, {0.3, ctrl}}, {6}},
        {"released while Shift is still held: no tap",
         {{0.0, ctrl}, {0.05, ctrl | shift}, {0.1, shift}, {0.15, 0}, {0.2, ctrl}}, {}},
        {"Control pressed while Super is held records no tap",
         {{0.0, super}, {0.05, super | ctrl}, {0.1, super}, {0.15, 0}, {0.2, ctrl}}, {}},
        {"a repeated report with Control still down does nothing",
         {{0.0, ctrl}, {0.05, 0}, {0.1, ctrl}, {0.12, ctrl}, {0.15, 0}, {0.2, ctrl}}, {2, 5}},
        {"Caps Lock and Function are ignored",
         {{0.0, ctrl | capsLock}, {0.05, capsLock}, {0.1, ctrl | capsLock | function}}, {2}},
        {"other modifiers alone do nothing", {{0.0, shift}, {0.05, 0}, {0.1, shift}, {0.15, 0}}, {}},
        {"Alt is watched when chosen", {{0.0, alt}, {0.05, 0}, {0.1, alt}}, {2}, DoubleTapModifier::option},
        {"Super is watched when chosen", {{0.0, super}, {0.05, 0}, {0.1, super}}, {2}, DoubleTapModifier::command},
    };
    for (const auto& c : cases)
        EXPECT_EQ(firings(c.reports, c.target), c.fired) << c.name;
}

TEST(DoubleTapDetector, StartStopAndTheSource)
{
    auto* source = new ScriptedModifierTaps;
    DoubleTapModifierManager manager{std::unique_ptr<ScriptedModifierTaps>(source)};
    manager.threshold = 0.3;
    int fired = 0;
    manager.onDoubleTap = [&] { ++fired; };
    manager.start();
    EXPECT_TRUE(source->running);
    source->report(1.0, ctrl);
    source->report(1.1, 0);
    EXPECT_EQ(manager.lastTapReleaseTime(), 1.1);
    manager.stop();
    EXPECT_FALSE(source->running);
    EXPECT_FALSE(manager.targetModifierIsDown());
    EXPECT_FALSE(manager.lastTapReleaseTime()) << "stop returns to idle";
    manager.start();
    source->report(1.2, ctrl);
    EXPECT_EQ(fired, 0) << "the tap before the stop is forgotten";

    source->observable = false;
    manager.start();
    EXPECT_FALSE(manager.isRunning());
}

TEST(HotKeyModeStore, ReadsAndSavesWithTheNormalisingRules)
{
    namespace Keys = PreferenceKeys;
    const struct {
        const char* name;
        QLatin1String key;
        QJsonValue stored;
        std::function<bool(const HotKeyModeStore&)> holds;
    } stored[] = {
        {"threshold 0.01 reads as 0.05", Keys::doubleTapThreshold, 0.01, [](auto& s) { return s.doubleTapThreshold() == 0.05; }},
        {"threshold 1.0 reads as 0.3", Keys::doubleTapThreshold, 1.0, [](auto& s) { return s.doubleTapThreshold() == 0.3; }},
        {"threshold 0 reads as 0.3", Keys::doubleTapThreshold, 0.0, [](auto& s) { return s.doubleTapThreshold() == 0.3; }},
        {"negative threshold reads as 0.3", Keys::doubleTapThreshold, -0.2, [](auto& s) { return s.doubleTapThreshold() == 0.3; }},
        {"threshold as text reads as 0.3", Keys::doubleTapThreshold, "0.1", [](auto& s) { return s.doubleTapThreshold() == 0.3; }},
        {"threshold 0.2 stays", Keys::doubleTapThreshold, 0.2, [](auto& s) { return s.doubleTapThreshold() == 0.2; }},
        {"mode doubletap (wrong case) is a combination", Keys::hotKeyMode, "doubletap",
         [](auto& s) { return s.mode() == HotKeyMode::combination; }},
        {"mode doubleTap", Keys::hotKeyMode, "doubleTap", [](auto& s) { return s.mode() == HotKeyMode::doubleTap; }},
        {"modifier Option (wrong case) is control", Keys::doubleTapModifier, "Option",
         [](auto& s) { return s.doubleTapModifier() == DoubleTapModifier::control; }},
        {"modifier command", Keys::doubleTapModifier, "command",
         [](auto& s) { return s.doubleTapModifier() == DoubleTapModifier::command; }},
    };
    for (const auto& c : stored) {
        platform::MemoryPreferencesStore defaults;
        (void)defaults.setObject(c.key, c.stored);
        EXPECT_TRUE(c.holds(HotKeyModeStore::standard(defaults))) << c.name;
    }

    platform::MemoryPreferencesStore defaults;
    const auto store = HotKeyModeStore::standard(defaults);
    EXPECT_EQ(store.mode(), HotKeyMode::combination);
    EXPECT_EQ(store.doubleTapModifier(), DoubleTapModifier::control);
    EXPECT_EQ(store.doubleTapThreshold(), 0.3) << "absent reads as 0.3";
    EXPECT_FALSE(store.save(HotKeyMode::doubleTap, DoubleTapModifier::command, 0.5));
    EXPECT_EQ(defaults.stringValue(Keys::hotKeyMode), "doubleTap");
    EXPECT_EQ(defaults.stringValue(Keys::doubleTapModifier), "command");
    EXPECT_EQ(defaults.doubleValue(Keys::doubleTapThreshold), 0.3) << "saving 0.5 stores 0.3";
    EXPECT_FALSE(store.save(HotKeyMode::combination, DoubleTapModifier::shift, 0.01));
    EXPECT_EQ(defaults.doubleValue(Keys::doubleTapThreshold), 0.05);
    EXPECT_FALSE(store.save(HotKeyMode::doubleTap, DoubleTapModifier::option));
    EXPECT_EQ(defaults.doubleValue(Keys::doubleTapThreshold), 0.05) << "no threshold leaves the stored one";
    EXPECT_EQ(store.doubleTapModifier(), DoubleTapModifier::option);
}

TEST(DoubleTapPermissionState, HintAndGrantNotice)
{
    bool permitted = false;
    DoubleTapPermissionState::Settings settings{HotKeyMode::doubleTap, true};
    int grants = 0;
    DoubleTapPermissionState state([&] { return permitted; }, [&] { return settings; }, [&] { ++grants; });
    EXPECT_FALSE(state.hasPermission());
    EXPECT_TRUE(state.showsHint());

    const struct {
        const char* name;
        HotKeyMode mode;
        bool enabled;
        bool hint;
    } hints[] = {
        {"double tap, enabled", HotKeyMode::doubleTap, true, true},
        {"double tap, hot key disabled", HotKeyMode::doubleTap, false, false},
        {"combination", HotKeyMode::combination, true, false},
    };
    for (const auto& c : hints) {
        settings = {c.mode, c.enabled};
        state.refresh();
        EXPECT_EQ(state.showsHint(), c.hint) << c.name;
    }

    settings = {HotKeyMode::doubleTap, true};
    permitted = true;
    state.refresh();
    EXPECT_EQ(grants, 1);
    EXPECT_FALSE(state.showsHint());
    state.refresh();
    EXPECT_EQ(grants, 1) << "only the change is announced";

    // Allowed from the start: no notice.
    int startGrants = 0;
    DoubleTapPermissionState allowed([] { return true; }, [&] { return settings; }, [&] { ++startGrants; });
    EXPECT_TRUE(allowed.hasPermission());
    EXPECT_EQ(startGrants, 0);
}

TEST(HotKeyModeApplication, SwitchesBetweenHotKeyAndDoubleTap)
{
    platform::MemoryPreferencesStore defaults;
    auto* shortcuts = new test::RecordingShortcuts;
    HotKeyCore::GlobalHotKeyManager hotKey("VLHR", std::unique_ptr<test::RecordingShortcuts>(shortcuts),
                                           std::make_shared<test::TableLayout>(test::TableLayout::us()));
    auto* taps = new ScriptedModifierTaps;
    DoubleTapModifierManager doubleTap{std::unique_ptr<ScriptedModifierTaps>(taps)};

    applyHotKeyMode(defaults, hotKey, doubleTap);
    EXPECT_TRUE(hotKey.isRegistered());
    EXPECT_FALSE(doubleTap.isRunning());

    const auto modes = HotKeyModeStore::standard(defaults);
    ASSERT_FALSE(modes.save(HotKeyMode::doubleTap, DoubleTapModifier::shift, 0.2));
    applyHotKeyMode(defaults, hotKey, doubleTap);
    EXPECT_FALSE(hotKey.isRegistered());
    EXPECT_FALSE(hotKey.registeredSettings());
    EXPECT_TRUE(doubleTap.isRunning());
    EXPECT_EQ(doubleTap.targetModifier, DoubleTapModifier::shift);
    EXPECT_EQ(doubleTap.threshold, 0.2);

    // Double tap with the hot key disabled: neither trigger is active.
    ASSERT_FALSE(standardHotKeySettingsStore(defaults).save(HotKeyCore::HotKeySettings(false, 49, 0x1000)));
    applyHotKeyMode(defaults, hotKey, doubleTap);
    EXPECT_FALSE(hotKey.isRegistered());
    EXPECT_FALSE(doubleTap.isRunning());
    EXPECT_FALSE(taps->running);

    ASSERT_FALSE(modes.save(HotKeyMode::combination, DoubleTapModifier::shift));
    ASSERT_FALSE(standardHotKeySettingsStore(defaults).save(HotKeyCore::HotKeySettings()));
    applyHotKeyMode(defaults, hotKey, doubleTap);
    EXPECT_TRUE(hotKey.isRegistered());
    EXPECT_FALSE(doubleTap.isRunning());
}
