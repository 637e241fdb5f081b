#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace velmora::platform {

// A custom keyboard shortcut in GNOME's settings (the media-keys plugin's
// documented custom-keybinding entries), which GNOME runs on any window: the
// way to a global hot key on GNOME Wayland sessions without a shortcut portal.
namespace GnomeCustomShortcut {

inline const QString path = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/velmora/");

enum class Error {
    notGnome, // GNOME's settings schemas are not installed
    failed,   // the settings refused the change
};
QString describe(Error error);

// Adds Velmora's entry (or updates it): `command` on `binding` ("<Control>space").
std::optional<Error> bind(const QString& command, const QString& binding);
// The binding of Velmora's entry, if GNOME has it.
std::optional<QString> currentBinding();
// GNOME's form of a combination: "<Control><Shift>space".
std::optional<QString> acceleratorFor(std::uint32_t classicKeyCode, std::uint32_t modifiers);

} // namespace GnomeCustomShortcut

} // namespace velmora::platform
