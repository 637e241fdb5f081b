#include "ActivationInput.h"

#include "DesktopSession.h"
#include "Linux/EvdevModifierTapSource.h"
#include "Linux/PortalGlobalShortcutSource.h"
#include "Linux/X11Connection.h"
#include "Linux/X11GlobalShortcutSource.h"
#include "Linux/X11KeyCodes.h"
#include "Linux/X11KeyboardLayoutSource.h"
#include "Linux/X11ModifierTapSource.h"

namespace velmora::platform {

std::unique_ptr<GlobalShortcutSource> ActivationInput::globalShortcuts()
{
    if (DesktopSession::backends().globalShortcut.name == QLatin1String("portal"))
        return std::make_unique<PortalGlobalShortcutSource>();
    return std::make_unique<X11GlobalShortcutSource>();
}

std::unique_ptr<ModifierTapSource> ActivationInput::modifierTaps()
{
    if (DesktopSession::backends().doubleTap.name == QLatin1String("evdev"))
        return std::make_unique<EvdevModifierTapSource>();
    return std::make_unique<X11ModifierTapSource>();
}

std::unique_ptr<KeyboardLayoutSource> ActivationInput::keyboardLayout()
{
    return std::make_unique<X11KeyboardLayoutSource>();
}

bool ActivationInput::canWatchAndPostKeys()
{
    if (DesktopSession::backends().doubleTap.name == QLatin1String("evdev"))
        return !EvdevModifierTapSource::keyboardDevices().isEmpty();
    return x11CanWatchAndPostKeys();
}

std::optional<std::uint32_t> ActivationInput::classicKeyCode(std::uint32_t nativeKeyCode)
{
    return platform::classicKeyCode(nativeKeyCode);
}

} // namespace velmora::platform
