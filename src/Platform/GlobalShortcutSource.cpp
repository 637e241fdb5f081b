#include "GlobalShortcutSource.h"

namespace velmora::platform {

QString describe(ShortcutGrabError error)
{
    switch (error) {
    case ShortcutGrabError::noDisplay:
        return QStringLiteral("No X display to register the hot key with.");
    case ShortcutGrabError::unknownKey:
        return QStringLiteral("The hot key cannot be typed on this keyboard layout.");
    case ShortcutGrabError::refused:
        return QStringLiteral("Another application already uses this hot key.");
    }
    return {};
}

} // namespace velmora::platform
