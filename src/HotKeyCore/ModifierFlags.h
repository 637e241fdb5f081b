#pragma once

#include <cstdint>

namespace HotKeyCore {

// Shortcut masks: the classic hot-key vocabulary that preferences store.
inline constexpr std::uint32_t controlKeyMask = 0x1000;
inline constexpr std::uint32_t optionKeyMask = 0x800; // Alt; AltGr where a layout level is meant
inline constexpr std::uint32_t shiftKeyMask = 0x200;
inline constexpr std::uint32_t commandKeyMask = 0x100; // Super

// Event modifier flags: what key events carry (left and right keys alike).
inline constexpr std::uint64_t controlFlag = 0x40000;
inline constexpr std::uint64_t optionFlag = 0x80000;
inline constexpr std::uint64_t shiftFlag = 0x20000;
inline constexpr std::uint64_t commandFlag = 0x100000;

// Bits other than the four modifiers are dropped both ways.
std::uint32_t carbonModifiers(std::uint64_t eventFlags);
std::uint64_t appKitModifierFlags(std::uint32_t shortcutMask);

} // namespace HotKeyCore
