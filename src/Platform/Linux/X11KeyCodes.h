#pragma once

#include <cstdint>
#include <optional>

namespace velmora::platform {

// The one fixed table between the classic key codes (ANSI key positions) that
// preferences store and X key codes (evdev code + 8). The ISO key beside the
// left Shift is classic 10.
std::optional<std::uint32_t> x11KeyCode(std::uint32_t classicKeyCode);
std::optional<std::uint32_t> classicKeyCode(std::uint32_t x11KeyCode);

} // namespace velmora::platform
