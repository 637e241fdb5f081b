#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace HotKeyCore {

struct HotKeySettings;
struct KeyShortcut;

// Readable: "Control + Alt + Shift + Super + Key"; compact: "Ctrl+Alt+Shift+Super+Key".
// Modifiers always in the order Control, Alt, Shift, Super.
QString hotKeyModifierReadableString(std::uint32_t modifiers);
QString hotKeyKeyReadableString(std::uint32_t keyCode);
QString hotKeyDisplayString(const HotKeySettings& settings);
QString keyShortcutKeyReadableString(const KeyShortcut& shortcut);
QString keyShortcutDisplayString(const std::optional<KeyShortcut>& shortcut);

QString hotKeyModifierSymbolString(std::uint32_t modifiers);
QString hotKeyKeySymbolString(std::uint32_t keyCode);
QString hotKeySymbolDisplayString(const HotKeySettings& settings);
QString keyShortcutKeySymbolString(const KeyShortcut& shortcut);
QString keyShortcutSymbolDisplayString(const std::optional<KeyShortcut>& shortcut);

} // namespace HotKeyCore
