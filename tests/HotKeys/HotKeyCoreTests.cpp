#include "FakeActivationInput.h"

#include "HotKeyCore/FourCharCode.h"
#include "HotKeyCore/GlobalHotKeyManager.h"
#include "HotKeyCore/HotKeyDisplay.h"
#include "HotKeyCore/HotKeySettingsStore.h"
#include "HotKeyCore/KeyShortcutRules.h"
#include "HotKeyCore/KeyboardLayoutShortcut.h"
#include "HotKeyCore/ModifierFlags.h"
#include "HotKeyCore/ShortcutCharacter.h"
#include "HotKeys/StandardHotKeySettingsStore.h"
#include "Platform/MemoryPreferencesStore.h"
#include "Preferences/PreferenceKeys.h"

#include <gtest/gtest.h>

using namespace HotKeyCore;
using velmora::test::RecordingShortcuts;
using velmora::test::TableLayout;

namespace {

constexpr std::uint32_t ctrl = controlKeyMask, alt = optionKeyMask, shift = shiftKeyMask, super = commandKeyMask;
constexpr std::uint64_t ctrlFlag = controlFlag, altFlag = optionFlag, shiftFl = shiftFlag;

std::optional<QString> text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

TEST(ShortcutDisplay, ReadableAndCompactForms)
{
    const struct {
        const char* name;
        HotKeySettings settings;
        const char* readable;
        const char* compact;
    } cases[] = {
        {"default", HotKeySettings(), "Control + Space", "Ctrl+Space"},
        {"disabled, whatever the key", HotKeySettings(false, 0, ctrl | shift), "Disabled", "Disabled"},
        {"order Control, Alt, Shift", HotKeySettings(true, 0, 0x1A00), "Control + Alt + Shift + A", "Ctrl+Alt+Shift+A"},
        {"all four", HotKeySettings(true, 12, ctrl | alt | shift | super), "Control + Alt + Shift + Super + Q",
         "Ctrl+Alt+Shift+Super+Q"},
        {"keypad Enter is Return", HotKeySettings(true, 76, ctrl), "Control + Return", "Ctrl+\u21A9"},
        {"Return", HotKeySettings(true, 36, ctrl), "Control + Return", "Ctrl+\u21A9"},
        {"unnamed key", HotKeySettings(true, 105, ctrl), "Control + Key 105", "Ctrl+Key 105"},
        {"Escape", HotKeySettings(true, 53, super), "Super + Escape", "Super+\u238B"},
        {"no modifier", HotKeySettings(true, 122, 0), "F1", "F1"},
        {"character shown upper-cased", HotKeySettings(true, 0, ctrl, text("a")), "Control + A", "Ctrl+A"},
        {"space character is a word", HotKeySettings(true, 49, ctrl, text(" ")), "Control + Space", "Ctrl+Space"},
        {"character beats the key", HotKeySettings(true, 10, ctrl, text("|")), "Control + |", "Ctrl+|"},
        {"private-use character falls back to the key", HotKeySettings(true, 126, ctrl, text("\uF700")),
         "Control + Up", "Ctrl+\u2191"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hotKeyDisplayString(c.settings), QString::fromUtf8(c.readable)) << c.name;
        EXPECT_EQ(hotKeySymbolDisplayString(c.settings), QString::fromUtf8(c.compact)) << c.name;
        if (c.settings.isEnabled) {
            const KeyShortcut shortcut(c.settings);
            EXPECT_EQ(keyShortcutDisplayString(shortcut), QString::fromUtf8(c.readable)) << c.name;
            EXPECT_EQ(keyShortcutSymbolDisplayString(shortcut), QString::fromUtf8(c.compact)) << c.name;
        }
    }
    EXPECT_EQ(keyShortcutDisplayString(std::nullopt), "Not Set");
    EXPECT_EQ(keyShortcutSymbolDisplayString(std::nullopt), "Not Set");
}

TEST(ShortcutCharacter, Normalisation)
{
    const struct {
        const char* name;
        std::optional<QString> input;
        std::optional<QString> expected;
    } cases[] = {
        {"absent", std::nullopt, std::nullopt},
        {"empty", text(""), std::nullopt},
        {"first character, lower-cased", text("AB"), text("a")},
        {"accented capital", text("\u00C9"), text("\u00E9")},
        {"combining sequence kept whole", text("e\u0301x"), text("e\u0301")},
        {"emoji with skin tone is one character", text("\U0001F44D\U0001F3FDz"), text("\U0001F44D\U0001F3FD")},
        {"control character", text("\x07"), std::nullopt},
        {"format character", text("\u200B"), std::nullopt},
        {"arrow key's private-use character", text("\uF700"), std::nullopt},
        {"supplementary private use", text("\U0010FFFD"), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(normalizedShortcutCharacter(c.input), c.expected) << c.name;

    EXPECT_TRUE(shouldPreferOptionProducedCharacter("|"));
    EXPECT_TRUE(shouldPreferOptionProducedCharacter("["));
    EXPECT_FALSE(shouldPreferOptionProducedCharacter("a"));
    EXPECT_FALSE(shouldPreferOptionProducedCharacter(QString::fromUtf8("\u00A7"))); // not ASCII
    EXPECT_FALSE(shouldPreferOptionProducedCharacter("||"));
}

TEST(ShortcutRules, ValidityConflictsAndCodes)
{
    EXPECT_TRUE(isValidKeyShortcut(0, ctrl));
    EXPECT_TRUE(isValidKeyShortcut(49, 0x1)); // only the value of the mask counts
    EXPECT_FALSE(isValidKeyShortcut(0, 0));
    for (std::uint32_t modifierKey = 54; modifierKey <= 63; ++modifierKey)
        EXPECT_FALSE(isValidKeyShortcut(modifierKey, ctrl)) << modifierKey;

    const struct {
        const char* name;
        KeyShortcut a, b;
        bool conflict;
    } conflicts[] = {
        {"same key and mask", {49, ctrl}, {49, ctrl}, true},
        {"different masks never", {49, ctrl}, {49, ctrl | shift}, false},
        {"equal characters on different keys", {10, ctrl, "|"}, {42, ctrl, "|"}, true},
        {"different characters on one key", {0, ctrl, "a"}, {0, ctrl, "q"}, false},
        {"one character absent: key codes decide", {0, ctrl, "a"}, {0, ctrl}, true},
        {"one character absent, other key", {0, ctrl, "a"}, {1, ctrl}, false},
    };
    for (const auto& c : conflicts) {
        EXPECT_EQ(keyShortcutsConflict(c.a, c.b), c.conflict) << c.name;
        EXPECT_EQ(keyShortcutsConflict(c.b, c.a), c.conflict) << c.name;
    }

    EXPECT_EQ(fourCharCode("VLHR"), 0x564C4852u);
    EXPECT_EQ(fourCharCode("VLHRX"), 0x564C4852u);
    EXPECT_EQ(fourCharCode("AB"), 0x4142u);
    EXPECT_EQ(fourCharCode(""), 0u);
    EXPECT_EQ(fourCharCode(QString::fromUtf8("\u00E9")), 0xC3A9u);

    EXPECT_EQ(carbonModifiers(ctrlFlag | altFlag | shiftFl | commandFlag | 0x10000 | 0x800000), 0x1B00u);
    EXPECT_EQ(appKitModifierFlags(0x1B00 | 0x1 | 0x2000), 0x1E0000u);
}

TEST(ShortcutValues, EqualityHashingAndJson)
{
    EXPECT_EQ(KeyShortcut(0, ctrl, "A"), KeyShortcut(0, ctrl, "a"));
    EXPECT_NE(KeyShortcut(0, ctrl, "a"), KeyShortcut(0, ctrl));
    EXPECT_EQ(qHash(KeyShortcut(0, ctrl, "A")), qHash(KeyShortcut(0, ctrl, "a")));
    EXPECT_EQ(KeyShortcut::withCharacter("\uF700", 126, ctrl).character, std::nullopt);
    EXPECT_EQ(HotKeySettings(true, KeyShortcut(10, ctrl, "|")), HotKeySettings(true, 10, ctrl, "|"));
    EXPECT_EQ(KeyShortcut(HotKeySettings(false, 3, shift, "F")), KeyShortcut(3, shift, "f"));

    const QJsonObject plain = KeyShortcut(49, ctrl).toJson();
    EXPECT_FALSE(plain.contains("character"));
    EXPECT_EQ(plain.value("keyCode").toInt(), 49);
    EXPECT_EQ(KeyShortcut::fromJson(plain), KeyShortcut(49, ctrl));
    // Stored text is taken as it is.
    const auto stored = KeyShortcut::fromJson({{"keyCode", 0}, {"modifiers", 4096}, {"character", "AB"}});
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->character, "AB");
    EXPECT_FALSE(KeyShortcut::fromJson({{"keyCode", "49"}, {"modifiers", 4096}}));
    EXPECT_FALSE(KeyShortcut::fromJson({{"keyCode", -1}, {"modifiers", 4096}}));

    const HotKeySettings settings(false, 10, ctrl, "|");
    const QJsonObject json = settings.toJson();
    EXPECT_EQ(json.value("isEnabled"), false);
    EXPECT_EQ(json.value("character"), "|");
    EXPECT_EQ(HotKeySettings::fromJson(json), settings);
    EXPECT_FALSE(HotKeySettings::fromJson({{"keyCode", 49}, {"modifiers", 4096}}));
}

TEST(HotKeySettingsStore, LoadsWithDefaultsAndSaves)
{
    namespace Keys = velmora::PreferenceKeys;
    {
        velmora::platform::MemoryPreferencesStore defaults;
        const auto loaded = velmora::standardHotKeySettingsStore(defaults).load();
        EXPECT_EQ(loaded, HotKeySettings());
        EXPECT_EQ(hotKeyDisplayString(loaded), "Control + Space");
        EXPECT_EQ(hotKeySymbolDisplayString(loaded), "Ctrl+Space");
    }
    const struct {
        const char* name;
        QLatin1String key;
        QJsonValue stored;
        HotKeySettings expected;
    } cases[] = {
        {"enabled as text is the default", Keys::hotKeyEnabled, "false", HotKeySettings()},
        {"disabled", Keys::hotKeyEnabled, false, HotKeySettings(false, 49, ctrl)},
        {"key code", Keys::hotKeyCode, 0, HotKeySettings(true, 0, ctrl)},
        {"negative key code is missing", Keys::hotKeyCode, -1, HotKeySettings()},
        {"key code past 32 bits is missing", Keys::hotKeyCode, qint64(1) << 32, HotKeySettings()},
        {"real key code is truncated", Keys::hotKeyCode, 12.7, HotKeySettings(true, 12, ctrl)},
        {"largest mask", Keys::hotKeyModifiers, qint64(0xffffffff), HotKeySettings(true, 49, 0xffffffff)},
        {"character AB loads as a", Keys::hotKeyCharacter, "AB", HotKeySettings(true, 49, ctrl, "a")},
        {"private-use character is absent", Keys::hotKeyCharacter, QString::fromUtf8("\uF700"), HotKeySettings()},
        {"control character is absent", Keys::hotKeyCharacter, "\t", HotKeySettings()},
        {"character as a number is missing", Keys::hotKeyCharacter, 7, HotKeySettings()},
    };
    for (const auto& c : cases) {
        velmora::platform::MemoryPreferencesStore defaults;
        (void)defaults.setObject(c.key, c.stored);
        EXPECT_EQ(velmora::standardHotKeySettingsStore(defaults).load(), c.expected) << c.name;
    }

    velmora::platform::MemoryPreferencesStore defaults;
    auto store = velmora::standardHotKeySettingsStore(defaults);
    EXPECT_FALSE(store.save(HotKeySettings(false, 10, ctrl, "|")));
    EXPECT_EQ(defaults.boolValue(Keys::hotKeyEnabled), false);
    EXPECT_EQ(defaults.object(Keys::hotKeyCode), QJsonValue(10));
    EXPECT_EQ(defaults.stringValue(Keys::hotKeyCharacter), "|");
    EXPECT_EQ(store.load(), HotKeySettings(false, 10, ctrl, "|"));
    EXPECT_FALSE(store.save(HotKeySettings(true, 49, ctrl)));
    EXPECT_FALSE(defaults.hasObject(Keys::hotKeyCharacter));

    // A store without a character key never reads or writes one.
    store.characterKey.reset();
    (void)defaults.setString(Keys::hotKeyCharacter, "x");
    EXPECT_EQ(store.load().character, std::nullopt);
    EXPECT_FALSE(store.save(HotKeySettings(true, 0, ctrl, "q")));
    EXPECT_EQ(defaults.stringValue(Keys::hotKeyCharacter), "x");
}

TEST(KeyboardLayoutLookup, FindsTheKeyAndLevelThatTypeACharacter)
{
    const TableLayout us(TableLayout::us());
    const TableLayout german(TableLayout::german());
    const TableLayout unavailable(TableLayout::us(), false);
    // Two keys type "x"; the lower key code wins, and on one key the fewer modifiers.
    const TableLayout ties({{{3, 0x200}, "x"}, {{2, 0x800}, "x"}, {{2, 0xA00}, "x"}, {{7, 0}, "x"}});
    const struct {
        const char* name;
        const TableLayout* layout;
        QString character;
        std::optional<KeyboardLayoutShortcut> expected;
    } cases[] = {
        {"plain letter", &us, "a", KeyboardLayoutShortcut{0, 0}},
        {"capital looks for the letter", &us, "A", KeyboardLayoutShortcut{0, 0}},
        {"US bar needs Shift", &us, "|", KeyboardLayoutShortcut{42, shift}},
        {"German bar needs AltGr on the ISO key", &german, "|", KeyboardLayoutShortcut{10, alt}},
        {"US parenthesis", &us, "(", KeyboardLayoutShortcut{25, shift}},
        {"German parenthesis", &german, "(", KeyboardLayoutShortcut{28, shift}},
        {"German z sits where US has y", &german, "z", KeyboardLayoutShortcut{16, 0}},
        {"lowest key, then fewest modifiers", &ties, "x", KeyboardLayoutShortcut{2, alt}},
        {"nowhere on the layout", &us, QString::fromUtf8("\u00E9"), std::nullopt},
        {"undisplayable", &us, QString::fromUtf8("\uF700"), std::nullopt},
        {"empty", &us, "", std::nullopt},
        {"no layout data", &unavailable, "a", std::nullopt},
        {"no layout at all", nullptr, "a", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyboardLayoutShortcut(c.character, c.layout), c.expected) << c.name;

    const struct {
        const char* name;
        const TableLayout* layout;
        HotKeySettings settings;
        ResolvedHotKey expected;
    } resolutions[] = {
        {"key position as stored", &german, HotKeySettings(true, 49, ctrl), {49, ctrl, 0}},
        {"US bar", &us, HotKeySettings(true, 10, ctrl, "|"), {42, ctrl, shift}},
        {"German bar", &german, HotKeySettings(true, 42, ctrl, "|"), {10, ctrl, alt}},
        {"without layout data the stored key", &unavailable, HotKeySettings(true, 10, ctrl, "|"), {10, ctrl, 0}},
        {"character nowhere: the stored key", &us, HotKeySettings(true, 0, ctrl, "\u00E9"), {0, ctrl, 0}},
    };
    for (const auto& c : resolutions) {
        EXPECT_EQ(resolveHotKey(c.settings, c.layout), c.expected) << c.name;
        EXPECT_EQ(resolvedGlobalHotKeyShortcut(c.settings, c.layout),
                  (KeyboardLayoutShortcut{c.expected.keyCode, c.expected.modifiers | c.expected.layoutModifiers}))
            << c.name;
    }
}

TEST(ShortcutCapture, FromKeyEventsOnUsAndGermanLayouts)
{
    const TableLayout us(TableLayout::us());
    const TableLayout german(TableLayout::german());
    const struct {
        const char* name;
        const TableLayout* layout;
        KeyEvent event;
        std::optional<KeyShortcut> expected;
    } cases[] = {
        {"Control+Shift+9 on US is Control with (", &us, {25, ctrlFlag | shiftFl, text("("), text("(")},
         KeyShortcut(25, ctrl, "(")},
        {"Shift+9 alone leaves no modifier", &us, {25, shiftFl, text("("), text("(")}, std::nullopt},
        {"Control+AltGr+ISO on German is Control with |", &german, {10, ctrlFlag | altFlag, text("|"), text("<")},
         KeyShortcut(10, ctrl, "|")},
        {"Control+A: the control character is ignored", &us, {0, ctrlFlag, text("\x01"), text("a")},
         KeyShortcut(0, ctrl, "a")},
        {"Control+Alt+A keeps Alt: a letter is not preferred", &us,
         {0, ctrlFlag | altFlag, text("\u00E5"), text("a")}, KeyShortcut(0, ctrl | alt, "a")},
        {"arrow key has no character", &us, {126, ctrlFlag, text("\uF700"), text("\uF700")},
         KeyShortcut(126, ctrl)},
        {"no characters at all", nullptr, {49, ctrlFlag, std::nullopt, std::nullopt}, KeyShortcut(49, ctrl)},
        {"without a layout the mask stays", nullptr, {25, ctrlFlag | shiftFl, text("("), text("(")},
         KeyShortcut(25, ctrl | shift, "(")},
        {"a letter alone", &us, {0, 0, text("a"), text("a")}, std::nullopt},
        {"a modifier key", &us, {59, ctrlFlag, std::nullopt, std::nullopt}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyShortcut(c.event, c.layout), c.expected) << c.name;
}

TEST(ShortcutMatching, KeyEventsAgainstShortcuts)
{
    const TableLayout us(TableLayout::us());
    const TableLayout german(TableLayout::german());
    const KeyShortcut controlSpace(49, ctrl);
    const KeyShortcut controlBar(42, ctrl, "|");
    const struct {
        const char* name;
        KeyShortcut shortcut;
        const TableLayout* layout;
        KeyEvent event;
        bool matches;
    } cases[] = {
        {"key position", controlSpace, &us, {49, ctrlFlag, text(" "), text(" ")}, true},
        {"extra modifier", controlSpace, &us, {49, ctrlFlag | shiftFl, text(" "), text(" ")}, false},
        {"other key", controlSpace, &us, {48, ctrlFlag, std::nullopt, std::nullopt}, false},
        {"bar on German via the layout", controlBar, &german, {10, ctrlFlag | altFlag, text("|"), text("<")}, true},
        {"bar on US via the layout", controlBar, &us, {42, ctrlFlag | shiftFl, text("|"), text("|")}, true},
        {"bar key without its level", controlBar, &german, {10, ctrlFlag, text("<"), text("<")}, false},
        {"no layout: by the typed text", controlBar, nullptr, {99, ctrlFlag, text("|"), std::nullopt}, true},
        {"no layout: mask must be equal", controlBar, nullptr, {99, ctrlFlag | shiftFl, text("|"), text("|")}, false},
        {"no characters in the event", controlBar, nullptr, {42, ctrlFlag, std::nullopt, std::nullopt}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyShortcutMatches(c.shortcut, c.event, c.layout), c.matches) << c.name;
}

namespace {

struct ManagerFixture {
    RecordingShortcuts* shortcuts = new RecordingShortcuts;
    std::shared_ptr<TableLayout> layout = std::make_shared<TableLayout>(TableLayout::german());
    GlobalHotKeyManager manager{"VLHR", std::unique_ptr<RecordingShortcuts>(shortcuts), layout};
    int presses = 0;

    ManagerFixture()
    {
        manager.onHotKeyPressed = [this] { ++presses; };
    }
};

} // namespace

TEST(GlobalHotKeyManager, RegistersResolvedShortcutsAndFollowsTheLayout)
{
    ManagerFixture f;
    EXPECT_TRUE(f.manager.registerSettings(HotKeySettings(true, 42, ctrl, "|")));
    ASSERT_TRUE(f.shortcuts->current);
    EXPECT_EQ(*f.shortcuts->current, (velmora::platform::ShortcutGrab{0x564C4852, 1, 10, ctrl, alt}));
    EXPECT_TRUE(f.manager.isRegistered());

    f.layout->switchTo(TableLayout::us());
    ASSERT_TRUE(f.shortcuts->current);
    EXPECT_EQ(*f.shortcuts->current, (velmora::platform::ShortcutGrab{0x564C4852, 1, 42, ctrl, shift}));

    f.shortcuts->press(0x564C4852, 7); // any id
    f.shortcuts->press(fourCharCode("XXXX"), 1);
    EXPECT_EQ(f.presses, 1);
    f.manager.onHotKeyPressed = nullptr;
    f.shortcuts->press(0x564C4852, 1); // consumed, nothing else
    EXPECT_EQ(f.presses, 1);
}

TEST(GlobalHotKeyManager, DisabledUnregisteredAndRefusedRegistrations)
{
    ManagerFixture f;
    ASSERT_TRUE(f.manager.registerSettings(HotKeySettings()));
    EXPECT_TRUE(f.manager.registerSettings(HotKeySettings(false, 49, ctrl)));
    EXPECT_FALSE(f.shortcuts->current) << "disabled settings remove the hot key";
    EXPECT_FALSE(f.manager.isRegistered());
    const auto grabsWhileDisabled = f.shortcuts->grabs.size();
    f.layout->switchTo(TableLayout::us());
    EXPECT_EQ(f.shortcuts->grabs.size(), grabsWhileDisabled) << "a disabled hot key ignores layout changes";

    ASSERT_TRUE(f.manager.registerSettings(HotKeySettings()));
    f.manager.unregister();
    EXPECT_FALSE(f.manager.registeredSettings());
    f.layout->switchTo(TableLayout::german());
    EXPECT_FALSE(f.shortcuts->current) << "after unregister a layout change registers nothing";

    // A refusal keeps the settings, says why, and is tried again on the next layout change.
    f.shortcuts->refuseWith = velmora::platform::ShortcutGrabError::refused;
    EXPECT_FALSE(f.manager.registerSettings(HotKeySettings(true, 49, ctrl | shift)));
    EXPECT_EQ(f.manager.registeredSettings(), HotKeySettings(true, 49, ctrl | shift));
    EXPECT_EQ(f.manager.registrationError(), velmora::platform::ShortcutGrabError::refused);
    EXPECT_FALSE(f.manager.isRegistered());
    f.shortcuts->refuseWith.reset();
    f.layout->switchTo(TableLayout::us());
    EXPECT_TRUE(f.manager.isRegistered());
    EXPECT_FALSE(f.manager.registrationError());
}

TEST(GlobalHotKeyManager, SuspensionReleasesTheGrabUntilResumed)
{
    ManagerFixture f;
    ASSERT_TRUE(f.manager.registerSettings(HotKeySettings()));
    f.manager.setSuspended(true);
    EXPECT_FALSE(f.shortcuts->current);
    // Saved while the recorder still records: kept, grabbed once it stops.
    EXPECT_TRUE(f.manager.registerSettings(HotKeySettings(true, 0, ctrl | alt)));
    EXPECT_FALSE(f.shortcuts->current);
    f.manager.setSuspended(false);
    ASSERT_TRUE(f.shortcuts->current);
    EXPECT_EQ(f.shortcuts->current->keyCode, 0u);
    EXPECT_EQ(f.shortcuts->current->modifiers, ctrl | alt);
}
