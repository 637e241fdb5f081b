#pragma once

#include "Platform/Linux/MainBundle.h"

#include "AppUpdater/AppUpdater.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

namespace AppCommands {
class AccessoryAppCommandMenu;
}
namespace HotKeyCore {
class GlobalHotKeyManager;
}
namespace SingleInstance {
class SingleInstanceController;
struct DuplicateLaunchRequest;
}

namespace LaunchAtLogin {
class LaunchAtLoginManaging;
}
class QAction;

class QMessageBox;

namespace velmora {

namespace platform {
class PreferencesStore;
class SleepWatcher;
}
class AppUpdateCommands;
class BrowserBridgeCoordinator;
class ContentView;
class DictationController;
class DictationStack;
class DoubleTapModifierManager;
class VelmoraUpdates;
class MenuBarController;

// Builds Velmora's long-lived parts, connects them in a fixed order once the
// event loop runs, and decides whether and how the application quits.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // `initialCommands` are the command-line commands of this launch (--toggle,
    // --show), run once the launch sequence is done.
    AppDelegate(std::shared_ptr<platform::PreferencesStore> defaults, platform::MainBundle bundle,
                SingleInstance::SingleInstanceController* singleInstance, QStringList initialCommands = {},
                QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // The one termination check every quit path goes through.
    bool applicationShouldTerminate();
    void applicationWillTerminate();
    // Ctrl+Q, the popover's item, a termination signal, the session ending.
    void requestTermination(const QString& reason);
    // The one alert that says why Velmora stays open for an update, brought to the front again.
    void showQuitRefusedAlert(const QString& reason);

    void setupGlobalHotKey();
    void applyHotKeyMode();
    void handleDuplicateLaunch(const QList<SingleInstance::DuplicateLaunchRequest>& requests);
    // `--toggle`, `--show`; anything else shows the popover.
    void runCommand(const QString& command);

    DictationController& dictationController() const;
    DictationStack& dictationStack() const { return *m_stack; }
    MenuBarController* menuBarController() const { return m_menuBar.get(); }
    HotKeyCore::GlobalHotKeyManager& hotKeyManager() const { return *m_hotKey; }
    DoubleTapModifierManager& doubleTapManager() const { return *m_doubleTap; }
    BrowserBridgeCoordinator& bridge() const { return *m_bridge; }
    QString temporaryFolder() const { return m_temporaryFolder; }
    // The names of the launch steps in the order they ran.
    const QStringList& launchSteps() const { return m_launchSteps; }
    bool isTerminating() const { return m_isTerminating; }
    AppUpdater::AppUpdater& updater() const { return *m_updater; }

signals:
    void launched();

private:
    ContentView* makeContentView();
    AppUpdater::AppUpdater::Environment updaterEnvironment();
    void step(const QString& name) { m_launchSteps << name; }

    std::shared_ptr<platform::PreferencesStore> m_defaults;
    platform::MainBundle m_bundle;
    SingleInstance::SingleInstanceController* m_singleInstance;
    QStringList m_initialCommands;
    QString m_temporaryFolder;
    std::unique_ptr<DictationStack> m_stack;
    std::unique_ptr<HotKeyCore::GlobalHotKeyManager> m_hotKey;
    std::unique_ptr<DoubleTapModifierManager> m_doubleTap;
    std::unique_ptr<BrowserBridgeCoordinator> m_bridge;
    std::unique_ptr<LaunchAtLogin::LaunchAtLoginManaging> m_launchAtLogin;
    std::unique_ptr<VelmoraUpdates> m_updates;
    std::unique_ptr<AppUpdater::AppUpdater> m_updater;
    std::unique_ptr<platform::SleepWatcher> m_sleepWatcher;
    std::unique_ptr<AppUpdateCommands> m_updateCommands;
    std::unique_ptr<class StagedUpdateRelaunch> m_relaunch;
    std::unique_ptr<AppCommands::AccessoryAppCommandMenu> m_commandMenu;
    std::unique_ptr<MenuBarController> m_menuBar;
    QStringList m_launchSteps;
    QPointer<QMessageBox> m_quitRefusedAlert;
    QPointer<class UpdateOfferWindow> m_offerWindow;
    bool m_didFinishLaunching = false;
    bool m_isTerminating = false;
};

} // namespace velmora
