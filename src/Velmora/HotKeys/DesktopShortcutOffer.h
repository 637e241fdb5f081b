#pragma once

#include "HotKeyMode.h"

#include "HotKeyCore/HotKeySettings.h"
#include "Platform/SessionBackends.h"

#include <QString>

namespace velmora::platform {
class PreferencesStore;
}

namespace velmora {

// On GNOME's Wayland sessions no service binds a global shortcut for another
// program, and no X11 grab reaches Wayland windows: Velmora offers, once, to
// add its hot key to GNOME's own keyboard shortcuts, running `velmora --toggle`.
namespace DesktopShortcutOffer {

bool shouldOffer(const platform::SessionBackends& session, bool offeredBefore, const HotKeyCore::HotKeySettings& settings,
                 HotKeyMode mode);
// The command GNOME runs, quoted as its shortcut settings parse it.
QString toggleCommand(const QString& executable);
// Asks the user (without waiting for the answer) when shouldOffer says so, and remembers having asked.
void offerIfUseful(platform::PreferencesStore& defaults, const QString& executable);

} // namespace DesktopShortcutOffer

} // namespace velmora
