#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace velmora::platform {
class KeyboardLayoutSource;
}

namespace HotKeyCore {

struct HotKeySettings;

// The key and the Shift/Option (AltGr) level that type a character on the
// current layout.
struct KeyboardLayoutShortcut {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;

    bool operator==(const KeyboardLayoutShortcut&) const = default;
};

// Scans key codes 0 to 127 (modifier keys skipped), each with no modifier, Shift,
// Option, Shift+Option: the lowest key wins, then the fewest modifiers. Nothing
// without a layout or for an undisplayable character.
std::optional<KeyboardLayoutShortcut> keyboardLayoutShortcut(const QString& character,
                                                             const velmora::platform::KeyboardLayoutSource* layout);

// What to register right now, keeping apart the modifiers the user holds from
// those the layout needs to type the character.
struct ResolvedHotKey {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    std::uint32_t layoutModifiers = 0;

    bool operator==(const ResolvedHotKey&) const = default;
};
ResolvedHotKey resolveHotKey(const HotKeySettings& settings, const velmora::platform::KeyboardLayoutSource* layout);
// The same with both modifier sets merged into one mask.
KeyboardLayoutShortcut resolvedGlobalHotKeyShortcut(const HotKeySettings& settings,
                                                    const velmora::platform::KeyboardLayoutSource* layout);

} // namespace HotKeyCore
