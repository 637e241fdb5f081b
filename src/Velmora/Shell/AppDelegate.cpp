#include "AppDelegate.h"

#include "CommandLineOptions.h"
#include "LaunchAtLoginPreferenceManager.h"

#include "BrowserBridge/BrowserBridgeCoordinator.h"
#include "Dictation/DictationActivationEventLogger.h"
#include "Dictation/DictationController.h"
#include "Dictation/DictationStack.h"
#include "Engine/WhisperTranscriber.h"
#include "Engine/WhisperWarmUp.h"
#include "HotKeys/DoubleTapModifierManager.h"
#include "HotKeys/DoubleTapPermissionState.h"
#include "HotKeys/HotKeyModeApplication.h"
#include "HotKeys/HotKeyNotifications.h"
#include "HotKeys/StandardHotKeySettingsStore.h"
#include "MenuBar/MenuBarController.h"
#include "Model/PinnedWhisperModel.h"
#include "Model/WhisperModelManager.h"
#include "Preferences/PreferenceKeys.h"
#include "HotKeys/DesktopShortcutOffer.h"
#include "Updates/AppUpdateCommands.h"
#include "Updates/StagedUpdateRelaunch.h"
#include "Updates/UpdateOfferWindow.h"
#include "Updates/VelmoraUpdates.h"
#include "Views/ContentView.h"

#include "AppCommands/AccessoryAppCommandMenu.h"
#include "AppUpdater/UpdateInstaller.h"
#include "AppVersion/AppVersionInfo.h"
#include "MenuBarPopover/Popover.h"
#include "HotKeyCore/GlobalHotKeyManager.h"
#include "LaunchAtLogin/LaunchAtLoginManager.h"
#include "Platform/Linux/LogindSleepWatcher.h"
#include "Platform/Linux/PrivateTemporaryFolder.h"
#include "Platform/Linux/XdgPaths.h"
#include "Platform/LogCategories.h"
#include "Platform/MainThread.h"
#include "SingleInstance/SingleInstanceController.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QThreadPool>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QPointer>
#include <QTimer>

namespace velmora {

AppDelegate::AppDelegate(std::shared_ptr<platform::PreferencesStore> defaults, platform::MainBundle bundle,
                         SingleInstance::SingleInstanceController* singleInstance, QStringList initialCommands,
                         QObject* parent)
    : QObject(parent)
    , m_defaults(std::move(defaults))
    , m_bundle(std::move(bundle))
    , m_singleInstance(singleInstance)
    , m_initialCommands(std::move(initialCommands))
{
    // No private folder, no recording: a folder that failed its checks may belong to someone else.
    const auto temporary = platform::PrivateTemporaryFolder::ensure();
    if (const QString* folder = std::get_if<QString>(&temporary)) {
        m_temporaryFolder = *folder;
    } else {
        qCWarning(logging::shell).noquote() << "no private temporary folder; recording is off:"
                                            << platform::PrivateTemporaryFolder::path()
                                            << std::get<platform::SystemError>(temporary).description();
    }
    const QString sounds = m_bundle.resourcePath.value_or(QString()) + QStringLiteral("/sounds");
    m_stack = std::make_unique<DictationStack>(m_defaults, m_temporaryFolder, sounds, m_bundle);
    m_hotKey = std::make_unique<HotKeyCore::GlobalHotKeyManager>(hotKeySignature);
    m_doubleTap = std::make_unique<DoubleTapModifierManager>();
    m_bridge = std::make_unique<BrowserBridgeCoordinator>(m_defaults.get());
    m_launchAtLogin = std::make_unique<LaunchAtLogin::LaunchAtLoginManager>(m_bundle.executablePath.value_or(QString()));
    m_updates = std::make_unique<VelmoraUpdates>();
    StagedUpdateRelaunch::Steps relaunch;
    relaunch.blockReason = [this] { return m_updates->installationBlockReason(); };
    relaunch.showWaiting = [this](const QString& reason) { showQuitRefusedAlert(reason); };
    relaunch.hideWaiting = [this] {
        if (m_quitRefusedAlert)
            m_quitRefusedAlert->close();
    };
    // The staged copy finishes once this one has exited; it swaps nothing if this one stays.
    relaunch.startFinishing = [this](const QString& staged) {
        return QFileInfo(staged + QStringLiteral("/bin/velmora")).isExecutable()
               && QProcess::startDetached(staged + QStringLiteral("/bin/velmora"),
                                          {QStringLiteral("--finish-update"),
                                           QString::number(QCoreApplication::applicationPid()), staged,
                                           m_bundle.bundlePath});
    };
    relaunch.discard = [](const QString& staged) { QDir(QFileInfo(staged).absolutePath()).removeRecursively(); };
    relaunch.tell = [](const QString& message) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Software Update"), message, QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
    };
    relaunch.quit = [this] { requestTermination(QStringLiteral("the update")); };
    m_relaunch = std::make_unique<StagedUpdateRelaunch>(std::move(relaunch));
    m_updater = std::make_unique<AppUpdater::AppUpdater>(updaterEnvironment());
    m_updateCommands = std::make_unique<AppUpdateCommands>(*m_updater);
}

AppUpdater::AppUpdater::Environment AppDelegate::updaterEnvironment()
{
    AppUpdater::AppUpdater::Environment environment;
    environment.bundlePath = m_bundle.bundlePath;
    QFile info(m_bundle.resourcePath.value_or(QString()) + QStringLiteral("/Info.json"));
    if (info.open(QIODevice::ReadOnly))
        environment.info = QJsonDocument::fromJson(info.read(64 * 1024)).object();
    environment.defaults = m_defaults.get();
    environment.skippedVersionKey = PreferenceKeys::skippedUpdateVersion;
    environment.automaticChecksKey = PreferenceKeys::automaticUpdateChecks;
    environment.lastCheckKey = PreferenceKeys::lastUpdateCheck;
    const QString current = AppVersion::AppVersionInfo::current(m_bundle).displayLabel();
    environment.showOffer = [this, current](const AppUpdater::AppUpdater::Offer& offer, AppUpdater::UpdateReply reply) {
        m_offerWindow = new UpdateOfferWindow(offer, current, std::move(reply));
        m_offerWindow->show();
        m_offerWindow->raise();
        m_offerWindow->activateWindow();
    };
    environment.raiseOffer = [this] {
        if (!m_offerWindow)
            return;
        m_offerWindow->show();
        m_offerWindow->raise();
        m_offerWindow->activateWindow();
    };
    environment.tell = [](const QString& message) {
        auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Software Update"), message, QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
    };
    environment.relaunch = [this](const QString& staged) { m_relaunch->relaunch(staged); };
    return environment;
}

AppDelegate::~AppDelegate()
{
    // The views and the triggers go before the controller they call.
    m_menuBar.reset();
    m_hotKey.reset();
    m_doubleTap.reset();
    m_bridge.reset();
    m_stack.reset();
}

DictationController& AppDelegate::dictationController() const
{
    return m_stack->controller();
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_didFinishLaunching)
        return;
    m_didFinishLaunching = true;
    DictationController& controller = dictationController();

    step(QStringLiteral("commandMenu"));
    m_commandMenu = AppCommands::AccessoryAppCommandMenu::installQuitMenu(
        QStringLiteral("Velmora"), false, [this] { requestTermination(QStringLiteral("the Quit command")); });

    step(QStringLiteral("restoreRuntime"));
    controller.restoreRuntimeIfNeeded();

    step(QStringLiteral("prepareModel"));
    m_stack->models().prepare(controller.usesDownloadedModel());

    step(QStringLiteral("startUpdater"));
    m_updates->setDictationController(&controller);
    for (const auto signal : {&DictationController::dictationEnded, &DictationController::transcriptChanged})
        connect(&controller, signal, m_relaunch.get(), &StagedUpdateRelaunch::retry, Qt::QueuedConnection);
    m_updater->installationBlockReason = [updates = QPointer<VelmoraUpdates>(m_updates.get())] {
        return updates ? updates->installationBlockReason() : std::nullopt;
    };
    if (m_updater->configurationError().isEmpty()) {
        // An offer left pending across a sleep is looked at again once the computer wakes.
        m_sleepWatcher = std::make_unique<platform::LogindSleepWatcher>();
        connect(m_sleepWatcher.get(), &platform::SleepWatcher::woke, m_updater.get(),
                &AppUpdater::AppUpdater::refreshPendingOffer);
    }

    step(QStringLiteral("removeLegacyActivationLog"));
    DictationActivationEventLogger::removeLegacyLog(DictationActivationEventLogger::logDirectory());

    step(QStringLiteral("removeStaleTemporaryFiles"));
    WhisperTranscriber::removeStaleTemporaryFiles(m_temporaryFolder);
    // An update interrupted on its way leaves its staging folder (a whole bundle) beside
    // the installed one: removed off the GUI thread, and the updater starts once it is
    // gone, so no new download is ever taken for a leftover.
    QThreadPool::globalInstance()->start([self = QPointer<AppDelegate>(this), bundle = m_bundle.bundlePath] {
        AppUpdater::UpdateInstaller::removeLeftovers(bundle);
        platform::postToMainThread([self] {
            if (self && !self->m_isTerminating)
                self->m_updater->start();
        });
    });

    step(QStringLiteral("startWarmUp"));
    controller.startWhisperWarmUp();

    step(QStringLiteral("installMenuBar"));
    m_menuBar = std::make_unique<MenuBarController>(controller, [this] { return makeContentView(); });
    m_menuBar->install();

    step(QStringLiteral("refreshNotificationAuthorization"));
    controller.refreshNotificationAuthorizationIfNeeded();

    step(QStringLiteral("launchAtLogin"));
    LaunchAtLoginPreferenceManager::apply(*m_defaults, *m_launchAtLogin, m_bundle.bundlePath,
                                          platform::XdgPaths::home());

    step(QStringLiteral("setupGlobalHotKey"));
    setupGlobalHotKey();
    DesktopShortcutOffer::offerIfUseful(*m_defaults, m_bundle.executablePath.value_or(QString()));

    step(QStringLiteral("browserBridge"));
    m_bridge->setController(&controller);
    m_bridge->apply();

    // Last: a second launch is answered only by a fully built application. One
    // that came earlier is delivered now, once.
    step(QStringLiteral("activationHandler"));
    if (m_singleInstance) {
        m_singleInstance->setDuplicateLaunchHandler(
            [self = QPointer<AppDelegate>(this)](const QList<SingleInstance::DuplicateLaunchRequest>& requests) {
                if (self)
                    self->handleDuplicateLaunch(requests);
            });
    }

    qCInfo(logging::shell) << "Velmora is running";
    emit launched();
    for (const QString& command : std::exchange(m_initialCommands, {}))
        runCommand(command);
}

ContentView* AppDelegate::makeContentView()
{
    return new ContentView(ContentView::Parts{
        dictationController(),
        *m_defaults,
        m_stack->devices(),
        m_stack->models(),
        PinnedWhisperModel::largeV3TurboQ5(),
        DoubleTapPermissionState::shared(),
        AppVersion::AppVersionInfo::current(m_bundle).displayLabel(),
        m_commandMenu ? m_commandMenu->quitAction() : nullptr,
        m_updateCommands->checkForUpdates(),
        m_hotKey.get(),
        &m_stack->vocabulary(),
        m_bridge.get(),
        &DictationStack::canPostKeys,
        [this](bool enabled) {
            LaunchAtLoginPreferenceManager::setEnabled(enabled, *m_defaults, *m_launchAtLogin, m_bundle.bundlePath,
                                                       platform::XdgPaths::home());
        },
        m_updater.get(),
    });
}

void AppDelegate::setupGlobalHotKey()
{
    // A press arrives from the X connection's reader: the command runs in a turn of its own.
    const auto toggleLater = [self = QPointer<AppDelegate>(this)](DictationActivationSource source) {
        return [self, source] {
            QTimer::singleShot(0, self, [self, source] {
                if (self)
                    self->dictationController().toggleRecording(source);
            });
        };
    };
    m_hotKey->onHotKeyPressed = toggleLater(DictationActivationSource::globalHotKey());
    m_doubleTap->onDoubleTap = toggleLater(DictationActivationSource::doubleTapModifier());
    DoubleTapPermissionState::shared();
    applyHotKeyMode();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            DoubleTapPermissionState::shared().refresh();
    });
    connect(&HotKeyNotifications::shared(), &HotKeyNotifications::doubleTapPermissionGranted, this,
            &AppDelegate::applyHotKeyMode, Qt::QueuedConnection);
    connect(&HotKeyNotifications::shared(), &HotKeyNotifications::hotKeyChanged, this, &AppDelegate::applyHotKeyMode,
            Qt::QueuedConnection);
}

void AppDelegate::applyHotKeyMode()
{
    velmora::applyHotKeyMode(*m_defaults, *m_hotKey, *m_doubleTap);
}

void AppDelegate::handleDuplicateLaunch(const QList<SingleInstance::DuplicateLaunchRequest>& requests)
{
    // A wake-up whose request could not be read is still someone starting Velmora.
    if (requests.isEmpty()) {
        qCInfo(logging::shell) << "another launch of Velmora was handed over to this copy";
        runCommand(CommandLineOptions::show);
    }
    for (const auto& request : requests) {
        const auto options = CommandLineOptions::parse(QStringList{QStringLiteral("velmora")} + request.arguments);
        if (options.commands.isEmpty()) {
            qCInfo(logging::shell) << "another launch of Velmora was handed over to this copy";
            runCommand(CommandLineOptions::show);
            continue;
        }
        for (const QString& command : options.commands) {
            qCInfo(logging::shell).noquote() << "another launch handed over" << command;
            runCommand(command);
        }
    }
}

void AppDelegate::runCommand(const QString& command)
{
    if (command == CommandLineOptions::quit) {
        // Asked from outside (an installer replacing this copy): never in the middle of a dictation.
        const DictationController& controller = dictationController();
        if (controller.hasDictationInProgress()) {
            qCInfo(logging::shell) << "quit refused: a dictation is running";
            return;
        }
        requestTermination(QStringLiteral("velmora --quit"));
        return;
    }
    if (command == CommandLineOptions::toggle) {
        dictationController().toggleRecording(DictationActivationSource::commandLine());
        return;
    }
    if (m_menuBar)
        m_menuBar->showPopover();
}

bool AppDelegate::applicationShouldTerminate()
{
    const auto reason = m_updates->installationBlockReason();
    if (!m_updater->isInstallingUpdate() || !reason)
        return true;
    showQuitRefusedAlert(*reason);
    return false;
}

void AppDelegate::showQuitRefusedAlert(const QString& reason)
{
    if (!m_quitRefusedAlert) {
        m_quitRefusedAlert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Velmora"),
                                             QStringLiteral("Finish dictation before updating"), QMessageBox::Ok);
        m_quitRefusedAlert->setObjectName(QStringLiteral("quitRefusedAlert"));
        m_quitRefusedAlert->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_quitRefusedAlert->setInformativeText(reason
                                           + QStringLiteral(" Velmora will stay open until it is safe to install the update."));
    m_quitRefusedAlert->show();
    m_quitRefusedAlert->raise();
    m_quitRefusedAlert->activateWindow();
}

void AppDelegate::requestTermination(const QString& reason)
{
    if (m_isTerminating)
        return;
    qCInfo(logging::shell).noquote() << "quit requested by" << reason;
    if (!applicationShouldTerminate()) {
        qCInfo(logging::shell) << "quit refused";
        return;
    }
    m_isTerminating = true;
    // Not quit(): it first asks every window to close, and the popover answers a
    // close by hiding, which would cancel the quit.
    QCoreApplication::exit(0);
}

void AppDelegate::applicationWillTerminate()
{
    m_stack->warmUp().cancel();
    m_bridge->stop();
    dictationController().shutDown();
    if (m_menuBar)
        m_menuBar->popover().hide();
}

} // namespace velmora
