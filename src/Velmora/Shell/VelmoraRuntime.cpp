#include "VelmoraRuntime.h"

#include "AppDelegate.h"

#include "Engine/WhisperTranscriber.h"
#include "MenuBar/TrayIconArt.h"

#include "Platform/Linux/JsonFilePreferencesStore.h"
#include "Platform/Linux/MainBundle.h"
#include "Platform/Linux/TerminationSignals.h"
#include "Platform/LogCategories.h"

#include "SingleInstance/SingleInstanceController.h"

#include <QApplication>
#include <QSessionManager>
#include <QTimer>

namespace velmora::VelmoraRuntime {

int run(int& argc, char** argv, std::unique_ptr<SingleInstance::SingleInstanceController> singleInstance,
        const QStringList& commands)
{
    // Velmora places its own windows; under Wayland it is an X client through XWayland.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setOrganizationDomain(QStringLiteral("orvane.com"));
    QApplication::setDesktopFileName(QStringLiteral("velmora"));
    QApplication::setWindowIcon(TrayIconArt::applicationIcon());
    // A tray application: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    const bool ownsTemporaryFolder = singleInstance && singleInstance->isEnforcingSingleInstance();
    QString temporaryFolder;
    int status = 0;
    {
        AppDelegate delegate(platform::JsonFilePreferencesStore::standard(),
                             platform::MainBundle::current(argc > 0 ? std::optional(QString::fromLocal8Bit(argv[0]))
                                                                    : std::nullopt),
                             singleInstance.get(), commands);
        temporaryFolder = delegate.temporaryFolder();

        platform::TerminationSignals termination;
        QObject::connect(&termination, &platform::TerminationSignals::terminationRequested, &delegate,
                         [&delegate](int number) {
                             delegate.requestTermination(QStringLiteral("signal %1").arg(number));
                         });
        // The desktop session is ending.
        QObject::connect(&application, &QGuiApplication::commitDataRequest, &delegate,
                         [&delegate](QSessionManager&) { delegate.requestTermination(QStringLiteral("the session")); });

        QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
        status = QApplication::exec();
        delegate.applicationWillTerminate();
    }
    // Settings changed in the last moments reach the disk before the program ends.
    platform::JsonFilePreferencesStore::standard()->flush();
    // Everything that wrote there has stopped: no recording may outlive the program.
    if (ownsTemporaryFolder)
        WhisperTranscriber::removeStaleTemporaryFiles(temporaryFolder);
    singleInstance.reset();
    qCInfo(logging::shell) << "Velmora stopped";
    return status;
}

} // namespace velmora::VelmoraRuntime
