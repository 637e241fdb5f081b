#include "VelmoraRuntime.h"

#include "TrayIconArt.h"

#include "Engine/WhisperTranscriber.h"
#include "HotKeys/DoubleTapModifierManager.h"
#include "HotKeys/DoubleTapPermissionState.h"
#include "HotKeys/HotKeyModeApplication.h"
#include "HotKeys/HotKeyNotifications.h"
#include "HotKeys/StandardHotKeySettingsStore.h"

#include "HotKeyCore/GlobalHotKeyManager.h"
#include "HotKeyCore/HotKeyDisplay.h"

#include "Platform/Linux/JsonFilePreferencesStore.h"

#include "Platform/Linux/PrivateTemporaryFolder.h"
#include "Platform/Linux/TerminationSignals.h"
#include "Platform/LogCategories.h"

#include "SingleInstance/SingleInstanceController.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include <cstring>

namespace velmora::VelmoraRuntime {

int run(int& argc, char** argv, std::unique_ptr<SingleInstance::SingleInstanceController> singleInstance)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setOrganizationDomain(QStringLiteral("orvane.com"));
    // A tray application: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::terminationRequested, &application,
                     [](int number) {
                         qCInfo(velmora::logging::shell) << "quitting on signal" << number;
                         QApplication::quit();
                     });

    QMenu menu;
    QAction* quit = menu.addAction(QStringLiteral("Quit Velmora"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    QObject::connect(quit, &QAction::triggered, &application, &QApplication::quit);

    QSystemTrayIcon tray(TrayIconArt::idleIcon());
    tray.setToolTip(QStringLiteral("Velmora"));
    tray.setContextMenu(&menu);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCWarning(velmora::logging::shell) << "no system tray on this desktop yet; the icon appears when one starts";
    tray.show();

    // Recordings and transcripts of a crashed earlier run must not linger.
    const auto temporary = platform::PrivateTemporaryFolder::ensure();
    if (const QString* folder = std::get_if<QString>(&temporary))
        WhisperTranscriber::removeStaleTemporaryFiles(*folder);
    else
        qCWarning(velmora::logging::shell).noquote() << "the private temporary folder is unusable:"
                                     << std::get<platform::SystemError>(temporary).description();

    // The triggers. Until the dictation controller lands they only announce themselves.
    // TODO(dictation controller): toggle dictation with the activation source of each trigger.
    auto defaults = platform::JsonFilePreferencesStore::standard();
    HotKeyCore::GlobalHotKeyManager hotKey(hotKeySignature);
    DoubleTapModifierManager doubleTap;
    hotKey.onHotKeyPressed = [] { qCInfo(velmora::logging::hotKey) << "hot key pressed"; };
    doubleTap.onDoubleTap = [] { qCInfo(velmora::logging::doubleTap) << "double tap"; };
    const auto showRegistration = [&] {
        const auto error = hotKey.registrationError();
        tray.setToolTip(error ? QStringLiteral("Velmora — hot key %1 not available: %2")
                                    .arg(HotKeyCore::hotKeyDisplayString(*hotKey.registeredSettings()),
                                         platform::describe(*error))
                              : QStringLiteral("Velmora"));
    };
    QObject::connect(&hotKey, &HotKeyCore::GlobalHotKeyManager::registrationChanged, &hotKey, showRegistration);
    const auto applyMode = [&] { applyHotKeyMode(*defaults, hotKey, doubleTap); };
    QObject::connect(&HotKeyNotifications::shared(), &HotKeyNotifications::hotKeyChanged, &hotKey, applyMode);
    QObject::connect(&HotKeyNotifications::shared(), &HotKeyNotifications::doubleTapPermissionGranted, &hotKey,
                     applyMode);
    QObject::connect(&application, &QGuiApplication::applicationStateChanged, &application, [](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            DoubleTapPermissionState::shared().refresh();
    });
    applyMode();

    if (singleInstance) {
        singleInstance->setActivationHandler(
            [] { qCInfo(velmora::logging::shell) << "another launch of Velmora was handed over to this copy"; });
    }

    qCInfo(velmora::logging::shell) << "Velmora is running";
    const int status = QApplication::exec();
    qCInfo(velmora::logging::shell) << "Velmora stopped";
    return status;
}

} // namespace velmora::VelmoraRuntime
