#pragma once

#include "KeyEvent.h"
#include "KeyShortcut.h"

#include <QSet>

#include <cstdint>
#include <optional>

namespace velmora::platform {
class KeyboardLayoutSource;
}

namespace HotKeyCore {

// Keys that are modifiers themselves and can never be a shortcut's key.
const QSet<std::uint32_t>& modifierOnlyKeyCodes();

// At least one modifier, and a key that is not a modifier.
bool isValidKeyShortcut(std::uint32_t keyCode, std::uint32_t modifiers);

// The shortcut a key press records, with the modifiers the layout needs for its
// character taken out; nothing when no modifier is left.
std::optional<KeyShortcut> keyShortcut(const KeyEvent& event, const velmora::platform::KeyboardLayoutSource* layout);

bool keyShortcutMatches(const KeyShortcut& shortcut, const KeyEvent& event,
                        const velmora::platform::KeyboardLayoutSource* layout);

bool keyShortcutsConflict(const KeyShortcut& a, const KeyShortcut& b);

} // namespace HotKeyCore
