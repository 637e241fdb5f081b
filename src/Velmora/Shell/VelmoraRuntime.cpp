#include "VelmoraRuntime.h"

#include "TrayIconArt.h"

#include "Engine/WhisperTranscriber.h"

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
