#pragma once

#include <QString>

#include <cstdint>

namespace velmora {

// Stored as the classic names; on X11, option is Alt and command is Super.
enum class DoubleTapModifier { control, option, shift, command };

QString rawValue(DoubleTapModifier modifier); // "control", "option", "shift", "command"
// Unknown text is control.
DoubleTapModifier doubleTapModifierFromRawValue(const QString& text);
// The event modifier flag it watches (Control 0x40000, Option 0x80000, Shift 0x20000, Command 0x100000).
std::uint64_t eventFlag(DoubleTapModifier modifier);

} // namespace velmora
