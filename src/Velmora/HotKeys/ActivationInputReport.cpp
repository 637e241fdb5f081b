#include "ActivationInputReport.h"

#include "HotKeyModeStore.h"
#include "StandardHotKeySettingsStore.h"

#include "HotKeyCore/GlobalHotKeyManager.h"
#include "HotKeyCore/HotKeyDisplay.h"
#include "Platform/DesktopSession.h"

#include <QStringList>

namespace velmora {

QString activationInputDescription(platform::PreferencesStore& defaults)
{
    const auto settings = standardHotKeySettingsStore(defaults).load();
    const auto mode = HotKeyModeStore::standard(defaults).mode();
    QString registration;
    if (!settings.isEnabled) {
        registration = QStringLiteral("disabled");
    } else if (platform::DesktopSession::backends().globalShortcut.name == QLatin1String("portal")) {
        // A trial binding could put the desktop's dialog in front of the user.
        registration = QStringLiteral("through the desktop portal, bound while Velmora runs");
    } else {
        // A trial grab, released at once.
        HotKeyCore::GlobalHotKeyManager probe(hotKeySignature);
        if (probe.registerSettings(settings))
            registration = QStringLiteral("available");
        else
            registration = QStringLiteral("refused: ") + platform::describe(*probe.registrationError())
                + QStringLiteral(" (a running Velmora holds its own hot key too)");
    }
    return QStringList{
        QStringLiteral("hotKey=") + HotKeyCore::hotKeyDisplayString(settings),
        QStringLiteral("hotKeyMode=") + rawValue(mode),
        QStringLiteral("hotKeyRegistration=") + registration,
        QStringLiteral("doubleTapAccess=")
            + (platform::ActivationInput::canWatchAndPostKeys() ? QStringLiteral("true") : QStringLiteral("false")),
    }
        .join(QLatin1Char('\n'));
}

} // namespace velmora
