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
    case ShortcutGrabError::declined:
        return QStringLiteral("The desktop did not bind the hot key (the request was cancelled or refused).");
    }
    return {};
}

} // namespace velmora::platform
