#include "VelmoraEntry.h"

#include "CommandLineOptions.h"
#include "Paths/VelmoraPaths.h"
#include "VelmoraRuntime.h"

#include "BrowserBridge/BrowserBridge.h"
#include "BrowserBridge/BrowserBridgeHost.h"
#include "Engine/BundledWhisperRuntime.h"
#include "HotKeys/ActivationInputReport.h"
#include "Preferences/PreferenceKeys.h"

#include "Platform/DesktopSession.h"
#include "Platform/Linux/JsonFilePreferencesStore.h"
#include "Platform/Linux/MainBundle.h"
#include "Platform/LogCategories.h"
#include "Platform/SystemTrayProbe.h"

#include "AppUpdater/UpdateInstaller.h"
#include "SingleInstance/SingleInstanceController.h"

#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cstdio>

namespace velmora {

namespace {

QStringList argumentList(int argc, char** argv)
{
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

VelmoraEntry::LaunchMode VelmoraEntry::launchMode(const QStringList& arguments)
{
    if (BrowserBridge::callerOrigin(arguments))
        return LaunchMode::host;
    if (arguments.contains(QStringLiteral("--dump-runtime")))
        return LaunchMode::dumpRuntime;
    if (arguments.size() == 5 && arguments[1] == QLatin1String("--finish-update"))
        return LaunchMode::finishUpdate;
    return LaunchMode::application;
}

int VelmoraEntry::main(int argc, char** argv)
{
    const QStringList arguments = argumentList(argc, argv);

    switch (launchMode(arguments)) {
    case LaunchMode::host: {
        // A vanished peer must become a write error, not a silent death.
        std::signal(SIGPIPE, SIG_IGN);
        return BrowserBridgeHost::run(*BrowserBridge::callerOrigin(arguments), VelmoraPaths::bridgeSocketPath(),
                                      STDIN_FILENO, STDOUT_FILENO);
    }
    case LaunchMode::dumpRuntime: {
        const auto bundle = platform::MainBundle::current(arguments.isEmpty() ? std::nullopt
                                                                              : std::optional(arguments.first()));
        QCoreApplication application(argc, argv); // the hot-key probe reads X events
        auto defaults = platform::JsonFilePreferencesStore::standard();
        const QString report = BundledWhisperRuntime::debugDescription(bundle, *defaults,
                                                                       VelmoraPaths::managedModelPath())
            + QLatin1Char('\n') + activationInputDescription(*defaults)
            + QStringLiteral("\nsystemTray=") + platform::SystemTrayProbe::describe() + QLatin1Char('\n')
            + platform::DesktopSession::backends().describe();
        std::fputs((report + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    case LaunchMode::finishUpdate: {
        // Run from the staged copy, after the old one was asked to quit: no lock, no window.
        QCoreApplication application(argc, argv);
        bool ok = false;
        const qint64 oldPid = arguments[2].toLongLong(&ok);
        if (!ok)
            return 2;
        return AppUpdater::UpdateInstaller::finish(oldPid, arguments[3], arguments[4]);
    }
    case LaunchMode::application:
        // Whoever started Velmora may close the pipe its log goes to (a launcher that exits, an update's
        // old copy): a log line must then fail quietly, not end the program.
        std::signal(SIGPIPE, SIG_IGN);
        break;
    }

    const CommandLineOptions options = CommandLineOptions::parse(arguments);
    if (options.help) {
        std::fputs(CommandLineOptions::usage().toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    for (const QString& unknown : options.unknown)
        std::fprintf(stderr, "velmora: ignoring unknown option %s (see velmora --help)\n", unknown.toLocal8Bit().constData());

    const SingleInstance::SingleInstanceConfiguration configuration(
        QStringLiteral("com.orvane.velmora"),
        SingleInstance::SingleInstancePolicy::userDefaults(platform::JsonFilePreferencesStore::standard(),
                                                           PreferenceKeys::allowMultipleInstances),
        SingleInstance::SingleInstanceLockLocation::applicationSupport());
    // The running copy gets this launch's commands; without any it shows its popover.
    const SingleInstance::DuplicateLaunchRequest request{options.commands, {}, QDateTime::currentDateTimeUtc()};

    auto result = SingleInstance::SingleInstanceController::start(configuration, request);
    switch (result.kind) {
    case SingleInstance::SingleInstanceStartupResult::Kind::run:
        if (options.commands.contains(CommandLineOptions::quit))
            return 0; // nothing is running that could quit
        return VelmoraRuntime::run(argc, argv, std::move(result.controller), options.commands);
    case SingleInstance::SingleInstanceStartupResult::Kind::alreadyRunning:
        return 0;
    case SingleInstance::SingleInstanceStartupResult::Kind::failed:
        qCCritical(velmora::logging::launch).noquote() << "Velmora failed to acquire the single-instance lock:"
                                      << result.error->description();
        // Not starting is a failure; a zero status would tell the caller all went well.
        return 1;
    }
    return 1;
}

} // namespace velmora
