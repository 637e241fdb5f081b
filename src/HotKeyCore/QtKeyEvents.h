#pragma once

#include "KeyEvent.h"

#include <Qt>

class QKeyEvent;

namespace velmora::platform {
class KeyboardLayoutSource;
}

namespace HotKeyCore {

// A Qt key event in the shortcut model's terms: the classic key code (from the
// native X key code, else from the Qt key), the event modifier flags (AltGr
// counts as Option), what it typed, and what the key types with Shift alone.
KeyEvent keyEvent(const QKeyEvent& event, const velmora::platform::KeyboardLayoutSource* layout);
// The modifier flags after a press or release of a modifier key itself;
// Qt reports the state before the change on some platforms.
std::uint64_t modifierFlagsAfter(const QKeyEvent& event);
bool isModifierKey(const QKeyEvent& event);
// Toolkit modifiers as event modifier flags (AltGr counts as Option).
std::uint64_t modifierFlags(Qt::KeyboardModifiers modifiers);

} // namespace HotKeyCore
