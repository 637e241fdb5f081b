#include "KeyInjector.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace velmora::platform {

QString describe(KeyInjectionError error)
{
    switch (error) {
    case KeyInjectionError::noDisplay:
        return QStringLiteral("No X display to send the paste keys to.");
    case KeyInjectionError::unavailable:
        return QStringLiteral("This display does not accept synthetic key presses (no XTest).");
    case KeyInjectionError::noKey:
        return QStringLiteral("The keyboard layout has no key for the paste shortcut.");
    case KeyInjectionError::modifiersHeld:
        return QStringLiteral("A modifier key was still held down, so the paste was not sent.");
    case KeyInjectionError::refused:
        return QStringLiteral("The desktop did not take the paste keys.");
    case KeyInjectionError::withdrawn:
        return QStringLiteral("The paste was called off before its keys were sent.");
    }
    return {};
}

ChordKeys keysOf(PasteChord chord)
{
    switch (chord) {
    case PasteChord::controlV:
        return {{XKB_KEY_Control_L}, XKB_KEY_v};
    case PasteChord::controlShiftV:
        return {{XKB_KEY_Control_L, XKB_KEY_Shift_L}, XKB_KEY_v};
    case PasteChord::shiftInsert:
        return {{XKB_KEY_Shift_L}, XKB_KEY_Insert};
    }
    return {};
}

} // namespace velmora::platform
