#include "ModifierFlags.h"

#include <array>
#include <utility>

namespace HotKeyCore {
namespace {

constexpr std::array<std::pair<std::uint32_t, std::uint64_t>, 4> pairs{{
    {controlKeyMask, controlFlag},
    {optionKeyMask, optionFlag},
    {shiftKeyMask, shiftFlag},
    {commandKeyMask, commandFlag},
}};

} // namespace

std::uint32_t carbonModifiers(std::uint64_t eventFlags)
{
    std::uint32_t mask = 0;
    for (const auto& [bit, flag] : pairs) {
        if (eventFlags & flag)
            mask |= bit;
    }
    return mask;
}

std::uint64_t appKitModifierFlags(std::uint32_t shortcutMask)
{
    std::uint64_t flags = 0;
    for (const auto& [bit, flag] : pairs) {
        if (shortcutMask & bit)
            flags |= flag;
    }
    return flags;
}

} // namespace HotKeyCore
