// The application delegate in this process, with the real services: its launch
// order, and second launches (the real executable) that arrive before it is ready.
#include "Shell/AppDelegate.h"

#include "Dictation/DictationController.h"
#include "HotKeys/DoubleTapModifierManager.h"
#include "MenuBar/MenuBarController.h"
#include "Preferences/PreferenceKeys.h"
#include "Settings/SettingsView.h"
#include "Views/ContentView.h"
#include "Widgets/MessageBanner.h"

#include "HotKeyCore/GlobalHotKeyManager.h"
#include "MenuBarPopover/Popover.h"
#include "Platform/Linux/JsonFilePreferencesStore.h"
#include "Platform/Linux/MainBundle.h"
#include "SingleInstance/SingleInstanceController.h"

#include "TestSupport.h"
#include "X11TestClient.h"

#include <QDir>
#include <QFile>
#include <QCheckBox>
#include <QFileDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

QList<std::pair<QString, QString>> activations()
{
    QList<std::pair<QString, QString>> records;
    for (const QByteArray& line : test::readFile(env("XDG_STATE_HOME") + "/Velmora/activation.log").split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        records.append({record.value("action").toString(), record.value("source").toString()});
    }
    return records;
}

TEST(AppDelegate, LaunchesInOrderAndHandsEarlyLaunchesOverOnceInTheirOrder)
{
    QTemporaryDir dir;
    test::writeFile(dir.path() + "/model.bin", "model");
    qputenv("VELMORA_MODEL_PATH", (dir.path() + "/model.bin").toLocal8Bit());
    auto defaults = platform::JsonFilePreferencesStore::standard();
    (void)defaults->setBool(PreferenceKeys::soundEffectsEnabled, false);
    (void)defaults->setBool(PreferenceKeys::notifyOnTranscriptionComplete, false);
    (void)defaults->setBool(PreferenceKeys::autoClearTranscript, true);
    // A vocabulary written on another computer, waiting in the cloud folder.
    (void)defaults->setString(PreferenceKeys::cloudFolder, dir.path() + "/Cloud");
    QDir().mkpath(dir.path() + "/Cloud/Velmora");
    test::writeFile(dir.path() + "/Cloud/Velmora/vocabulary.json",
                    R"([{"id": "6A1F5B2C-0000-4000-8000-000000000001", "spelling": "Kubernetes", "variants": ["kubernetis"]}])");

    // This process is the running copy.
    const SingleInstance::SingleInstanceConfiguration configuration(
        "com.orvane.velmora",
        SingleInstance::SingleInstancePolicy::userDefaults(defaults, PreferenceKeys::allowMultipleInstances),
        SingleInstance::SingleInstanceLockLocation::applicationSupport());
    auto started = SingleInstance::SingleInstanceController::start(configuration, {{}, {}, QDateTime::currentDateTimeUtc()});
    ASSERT_EQ(started.kind, SingleInstance::SingleInstanceStartupResult::Kind::run);

    // Another application holds Ctrl+Space: the popover says so.
    test::X11TestClient other;
    ASSERT_TRUE(other.grabKey(test::keys::space, 0x4 /* Control */));

    // Two `velmora --toggle` from a desktop shortcut, pressed twice while Velmora is still starting.
    for (int i = 0; i < 2; ++i) {
        const auto second = test::runProcess(test::velmoraExecutable(), {"--toggle"});
        ASSERT_EQ(second.exitCode, 0) << second.standardError.toStdString();
    }
    ASSERT_TRUE(test::waitUntil([&] { return started.controller->hasPendingActivation(); }, 5s));

    AppDelegate delegate(defaults, platform::MainBundle::forExecutable(test::velmoraExecutable(), std::nullopt),
                         started.controller.get());
    delegate.applicationDidFinishLaunching();
    // Each step once; where one needs another, that one came first.
    const QStringList steps = delegate.launchSteps();
    QStringList sorted = steps;
    sorted.sort();
    EXPECT_EQ(sorted, (QStringList{"activationHandler", "browserBridge", "commandMenu", "installMenuBar", "launchAtLogin",
                                   "prepareModel", "refreshNotificationAuthorization", "removeLegacyActivationLog",
                                   "removeStaleTemporaryFiles", "restoreRuntime", "setupGlobalHotKey", "startUpdater",
                                   "startWarmUp"}));
    const struct {
        const char* first;
        const char* then;
        const char* why;
    } needs[] = {
        {"restoreRuntime", "startWarmUp", "the warm-up runs the restored speech tool"},
        {"prepareModel", "startWarmUp", "the warm-up waits for the model the check found ready"},
        {"removeStaleTemporaryFiles", "startWarmUp", "the clean-up would take the warm-up's own files"},
        {"startUpdater", "removeStaleTemporaryFiles", "the updater, started once leftovers are gone, is wired first"},
        {"installMenuBar", "activationHandler", "a second launch may open the popover"},
        {"setupGlobalHotKey", "activationHandler", "a second launch is answered by a whole application"},
        {"browserBridge", "activationHandler", "a second launch is answered by a whole application"},
    };
    for (const auto& need : needs)
        EXPECT_LT(steps.indexOf(need.first), steps.indexOf(need.then)) << need.first << " before " << need.then << ": " << need.why;
    EXPECT_EQ(steps.last(), "activationHandler");
    ASSERT_NE(delegate.menuBarController(), nullptr);

    // Both requests, in order: the first starts, the second comes while starting and is ignored.
    const QList<std::pair<QString, QString>> expected{
        {"startRequested", "commandLine"}, {"startRequested", "commandLine"}, {"startIgnored", "commandLine"}};
    ASSERT_TRUE(test::waitUntil([&] { return activations().size() >= 3; }, 5s));
    EXPECT_EQ(activations().mid(0, 3), expected);
    QTest::qWait(300);
    const auto records = activations();
    EXPECT_EQ(records.count({"startRequested", "commandLine"}), 2) << "delivered once";
    EXPECT_FALSE(started.controller->hasPendingActivation());

    // The cloud folder's vocabulary is read from launch on, with no popover opened for it.
    DictationController& controller = delegate.dictationController();
    ASSERT_TRUE(test::waitUntil([&] { return controller.vocabulary().size() == 1; }, 5s)) << "read at launch";
    EXPECT_EQ(controller.vocabulary().first().spelling, "Kubernetes");

    // A plain second launch shows the popover.
    auto& popover = delegate.menuBarController()->popover();
    popover.performClose();
    QTest::qWait(300);
    const auto plain = test::runProcess(test::velmoraExecutable(), {});
    ASSERT_EQ(plain.exitCode, 0);
    EXPECT_TRUE(test::waitUntil([&] { return popover.isShown(); }, 10s));
    auto* hint = popover.findChild<MessageBanner*>("hotKeyHint");
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(hint->message().startsWith("Control + Space: Another application already uses this hot key."))
        << hint->message().toStdString();

    // Closing it starts the auto-clear countdown of a finished transcript.
    controller.cancelTranscription(DictationActivationSource::popoverCancelButton());
    if (controller.isRecording())
        controller.stopRecording(DictationActivationSource::popoverRecordButton());
    ASSERT_TRUE(test::waitUntil([&] { return !controller.isRecording() && !controller.isTranscribing(); }, 10s));
    controller.setTranscript("Done.");
    controller.cancelAutoClear();
    popover.performClose();
    EXPECT_TRUE(test::waitUntil([&] { return controller.autoClearRemaining() > 0; }, 2s));
    delegate.applicationWillTerminate();
}

// A model file, the default trigger (Ctrl+Space, double tap on Ctrl when
// chosen), no sounds, and an empty activation log, in the real preferences file.
std::shared_ptr<platform::PreferencesStore> settingsDefaults(const QTemporaryDir& dir)
{
    test::writeFile(dir.path() + "/model.bin", "model");
    qputenv("VELMORA_MODEL_PATH", (dir.path() + "/model.bin").toLocal8Bit());
    auto defaults = platform::JsonFilePreferencesStore::standard();
    (void)defaults->remove(PreferenceKeys::hotKeyCode);
    (void)defaults->remove(PreferenceKeys::hotKeyModifiers);
    (void)defaults->setBool(PreferenceKeys::hotKeyEnabled, true);
    (void)defaults->setString(PreferenceKeys::hotKeyMode, "combination");
    (void)defaults->setString(PreferenceKeys::doubleTapModifier, "control");
    (void)defaults->setBool(PreferenceKeys::soundEffectsEnabled, false);
    QFile::remove(env("XDG_STATE_HOME") + "/Velmora/activation.log");
    return defaults;
}

// The application launched with the real services, the popover shown and its settings open.
class SettingsInTheApplication : public ::testing::Test {
protected:
    void SetUp() override
    {
        defaults = settingsDefaults(dir);
        ASSERT_TRUE(test::setKeyboardLayout("us"));
        delegate = std::make_unique<AppDelegate>(
            defaults, platform::MainBundle::forExecutable(test::velmoraExecutable(), std::nullopt), nullptr);
        delegate->applicationDidFinishLaunching();
        delegate->runCommand("--show");
        auto& shown = popover();
        ASSERT_TRUE(test::waitUntil([&] { return shown.isShown() && shown.isActiveWindow(); }, 10s));
        content = shown.findChild<ContentView*>();
        ASSERT_NE(content, nullptr);
        content->setShowsSetup(true);
    }
    void TearDown() override
    {
        if (delegate)
            delegate->applicationWillTerminate();
    }
    MenuBarPopover::Popover& popover() const { return delegate->menuBarController()->popover(); }

    QTemporaryDir dir;
    std::shared_ptr<platform::PreferencesStore> defaults;
    std::unique_ptr<AppDelegate> delegate;
    ContentView* content = nullptr;
};

TEST_F(SettingsInTheApplication, AShortcutRecordedInTheSettingsTakesOverFromTheOldOne)
{
    AppDelegate& delegate = *this->delegate;
    auto& popover = this->popover();
    auto* field = popover.findChild<QPushButton*>("shortcutField");
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return field->isVisible(); }, 2s));

    // Keys go to the window in front: typed once the popover is, and the field says it listens.
    ASSERT_TRUE(QTest::qWaitForWindowActive(field->window()));
    test::X11TestClient keyboard;
    field->click();
    ASSERT_TRUE(test::waitUntil([&] { return field->text() == "Recording…"; }, 2s)) << field->text().toStdString();
    keyboard.chord({test::keys::option}, 2 /* D */);
    ASSERT_TRUE(test::waitUntil([&] { return field->text() == "Alt+D"; }, 5s)) << field->text().toStdString();
    const auto hotKeyRequests = [] {
        return activations().count({"startRequested", "globalHotKey"});
    };
    // The grab moves in the next turn, when the change notice is handled.
    ASSERT_TRUE(test::waitUntil([&] {
        return delegate.hotKeyManager().registeredSettings()
            && delegate.hotKeyManager().registeredSettings()->keyCode == 2;
    }, 5s));

    keyboard.chord({test::keys::control}, test::keys::space);
    QTest::qWait(500);
    EXPECT_EQ(hotKeyRequests(), 0) << "Ctrl+Space is no longer Velmora's";
    keyboard.chord({test::keys::option}, 2);
    EXPECT_TRUE(test::waitUntil([&] { return hotKeyRequests() == 1; }, 5s)) << "Alt+D starts a dictation";
}

// The combination in use is let go while the recorder listens: pressed there, it is
// recorded rather than starting a dictation, and it works again afterwards.
TEST_F(SettingsInTheApplication, TheCurrentShortcutCanBeRecordedAgainWithoutStartingADictation)
{
    AppDelegate& delegate = *this->delegate;
    auto* field = popover().findChild<QPushButton*>("shortcutField");
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return field->isVisible(); }, 2s));
    ASSERT_TRUE(delegate.hotKeyManager().isRegistered());
    const auto hotKeyRequests = [] { return activations().count({"startRequested", "globalHotKey"}); };

    test::X11TestClient keyboard;
    field->click();
    EXPECT_TRUE(test::waitUntil([&] { return !delegate.hotKeyManager().isRegistered(); }, 2s));
    keyboard.chord({test::keys::control}, test::keys::space);
    ASSERT_TRUE(test::waitUntil([&] { return field->text() == "Ctrl+Space"; }, 5s)) << field->text().toStdString();
    QTest::qWait(300);
    EXPECT_EQ(hotKeyRequests(), 0) << "recording the shortcut started a dictation";
    EXPECT_FALSE(delegate.dictationController().hasDictationInProgress());

    ASSERT_TRUE(test::waitUntil([&] { return delegate.hotKeyManager().isRegistered(); }, 5s));
    keyboard.chord({test::keys::control}, test::keys::space);
    EXPECT_TRUE(test::waitUntil([&] { return hotKeyRequests() == 1; }, 5s)) << "Ctrl+Space is Velmora's again";
}

// Each refused quit used to stack another alert; there is one, in front, saying the latest reason.
TEST_F(SettingsInTheApplication, RefusedQuitsShowOneAlert)
{
    delegate->showQuitRefusedAlert("Stop the active recording first.");
    delegate->showQuitRefusedAlert("Wait for the current transcription to finish.");
    QList<QMessageBox*> alerts;
    ASSERT_TRUE(test::waitUntil([&] {
        alerts.clear();
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->objectName() == "quitRefusedAlert" && box->isVisible())
                alerts << box;
        return !alerts.isEmpty();
    }, 5s));
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_TRUE(alerts.first()->informativeText().startsWith("Wait for the current transcription to finish."));
    alerts.first()->close();
}

// The settings as a user drives them, with the real preferences file and the
// real triggers: a new double-tap modifier reaches the running detector, and
// unticking the hot key stops both triggers.
TEST_F(SettingsInTheApplication, TheHotKeySettingsDriveTheRunningTriggers)
{
    AppDelegate& delegate = *this->delegate;
    auto& popover = this->popover();
    const auto button = [&](const QString& text) -> QToolButton* {
        for (QToolButton* candidate : popover.findChildren<QToolButton*>()) {
            if (candidate->text() == text && candidate->isVisible())
                return candidate;
        }
        return nullptr;
    };
    // Clicked where the user would: scrolled into view first.
    const auto click = [&](QAbstractButton* target, QPoint at = {}) {
        ASSERT_NE(target, nullptr);
        content->settingsView()->scrollArea()->ensureWidgetVisible(target);
        QTest::mouseClick(target, Qt::LeftButton, {}, at.isNull() ? target->rect().center() : at);
    };
    ASSERT_TRUE(test::waitUntil([&] { return button("Double-Tap") != nullptr; }, 2s));
    ASSERT_TRUE(delegate.hotKeyManager().registeredSettings().has_value());

    click(button("Double-Tap"));
    ASSERT_TRUE(test::waitUntil([&] { return delegate.doubleTapManager().isRunning(); }, 5s));
    EXPECT_FALSE(delegate.hotKeyManager().registeredSettings().has_value()) << "one trigger at a time";
    ASSERT_TRUE(test::waitUntil([&] { return button("Alt") != nullptr; }, 2s));
    click(button("Alt"));
    ASSERT_TRUE(test::waitUntil(
        [&] { return delegate.doubleTapManager().targetModifier == DoubleTapModifier::option; }, 5s));
    EXPECT_EQ(test::readFile(env("XDG_CONFIG_HOME") + "/Velmora/preferences.json").contains("\"option\""), true)
        << "kept in the preferences file";

    const auto doubleTapRequests = [] {
        int count = 0;
        for (const auto& [action, source] : activations())
            count += action == "startRequested" && source == "doubleTapModifier";
        return count;
    };
    test::X11TestClient keyboard;
    keyboard.tap(test::keys::control);
    keyboard.tap(test::keys::control);
    QTest::qWait(400);
    EXPECT_EQ(doubleTapRequests(), 0) << "Ctrl is no longer the modifier";
    keyboard.tap(test::keys::option);
    keyboard.tap(test::keys::option);
    ASSERT_TRUE(test::waitUntil([&] { return doubleTapRequests() == 1; }, 5s)) << "Alt twice starts a dictation";
    ASSERT_TRUE(test::waitUntil([&] { return delegate.dictationController().isRecording(); }, 10s));
    delegate.dictationController().stopRecording(DictationActivationSource::popoverRecordButton());
    ASSERT_TRUE(test::waitUntil([&] { return !delegate.dictationController().isRecording(); }, 10s));

    // Unticked: neither trigger is left, whichever mode was on.
    auto* enabled = popover.findChild<QCheckBox*>("hotKeyEnabled");
    click(enabled, QPoint(8, enabled->height() / 2));
    ASSERT_TRUE(test::waitUntil([&] { return !delegate.doubleTapManager().isRunning(); }, 5s));
    EXPECT_FALSE(delegate.hotKeyManager().registeredSettings().has_value());
    keyboard.tap(test::keys::option);
    keyboard.tap(test::keys::option);
    keyboard.chord({test::keys::control}, test::keys::space);
    QTest::qWait(500);
    EXPECT_EQ(doubleTapRequests(), 1);
    EXPECT_EQ(activations().count({"startRequested", "globalHotKey"}), 0);

    // An installer's quit waits for the dictation; once it is over, Velmora quits.
    delegate.runCommand("--toggle");
    ASSERT_TRUE(test::waitUntil([&] { return delegate.dictationController().isRecording(); }, 10s));
    delegate.runCommand("--quit");
    EXPECT_FALSE(delegate.isTerminating()) << "a dictation is never cut short";
    EXPECT_TRUE(delegate.dictationController().isRecording());
    delegate.dictationController().cancelTranscription(DictationActivationSource::popoverCancelButton());
    delegate.dictationController().stopRecording(DictationActivationSource::popoverRecordButton());
    ASSERT_TRUE(test::waitUntil([&] {
        return !delegate.dictationController().isRecording() && !delegate.dictationController().isTranscribing();
    }, 10s));

    // The model chooser is the popover's own: it takes the keyboard, and its
    // Escape closes it, not the popover.
    click(popover.findChild<QPushButton*>("addModelButton"));
    QFileDialog* chooser = nullptr;
    ASSERT_TRUE(test::waitUntil([&] {
        chooser = popover.findChild<QFileDialog*>("modelChooser");
        return chooser && chooser->isActiveWindow();
    }, 5s));
    EXPECT_TRUE(popover.isShown());
    QPointer<QFileDialog> open = chooser;
    keyboard.tap(test::keys::escape);
    ASSERT_TRUE(test::waitUntil([&] { return open.isNull() || !open->isVisible(); }, 5s));
    QTest::qWait(300);
    EXPECT_TRUE(popover.isShown()) << "the popover stays";
    delegate.runCommand("--quit");
    EXPECT_TRUE(delegate.isTerminating());
}

} // namespace
