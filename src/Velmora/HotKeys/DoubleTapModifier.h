#pragma once

#include <QString>

namespace velmora {

// Stored as the classic names; on X11, option is Alt and command is Super.
enum class DoubleTapModifier { control, option, shift, command };

QString rawValue(DoubleTapModifier modifier); // "control", "option", "shift", "command"
// Unknown text is control.
DoubleTapModifier doubleTapModifierFromRawValue(const QString& text);

} // namespace velmora
