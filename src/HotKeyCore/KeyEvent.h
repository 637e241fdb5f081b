#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace HotKeyCore {

// A key press as the shortcut rules need it.
struct KeyEvent {
    std::uint32_t keyCode = 0;
    std::uint64_t modifierFlags = 0;
    std::optional<QString> characters;                  // typed with every modifier applied
    std::optional<QString> charactersIgnoringModifiers; // typed with Shift alone, if held
};

} // namespace HotKeyCore
