#include "VelmoraRuntime.h"

#include "TrayIconArt.h"

#include "Engine/WhisperTranscriber.h"

#include "Platform/Linux/PrivateTemporaryFolder.h"
#include "Platform/Linux/TerminationSignals.h"

#include "SingleInstance/SingleInstanceController.h"

#include <QAction>
#include <QApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QSystemTrayIcon>

#include <cstring>

Q_LOGGING_CATEGORY(lcShell, "Velmora.Shell")

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
                         qCInfo(lcShell) << "quitting on signal" << number;
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
        qCWarning(lcShell) << "no system tray on this desktop yet; the icon appears when one starts";
    tray.show();

    // Recordings and transcripts of a crashed earlier run must not linger.
    const auto temporary = platform::PrivateTemporaryFolder::ensure();
    if (const QString* folder = std::get_if<QString>(&temporary))
        WhisperTranscriber::removeStaleTemporaryFiles(*folder);
    else
        qCWarning(lcShell) << "the private temporary folder is unusable:" << std::strerror(std::get<int>(temporary));

    if (singleInstance) {
        singleInstance->setActivationHandler(
            [] { qCInfo(lcShell) << "another launch of Velmora was handed over to this copy"; });
    }

    qCInfo(lcShell) << "Velmora is running";
    const int status = QApplication::exec();
    qCInfo(lcShell) << "Velmora stopped";
    return status;
}

} // namespace velmora::VelmoraRuntime
