#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace velmora::platform {

// The keysym name ("space", "d", "F5") of a classic key code on the default
// layout: how desktop shortcut services (the portal, GNOME's settings) name keys.
std::optional<QString> keysymNameOf(std::uint32_t classicKeyCode);

} // namespace velmora::platform
