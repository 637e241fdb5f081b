// Draws the popover in its states on the rig's display and saves each as a PNG:
//   velmora-rig --x11 -- PopoverScreenshots <folder>
#include "ContentViewDesk.h"
#include "TestSupport.h"

#include "BrowserBridge/BrowserBridgeCoordinator.h"
#include "Model/WhisperModelManager.h"
#include "Preferences/PreferenceKeys.h"
#include "Settings/SettingsView.h"
#include "Views/ContentView.h"

#include "MenuBarPopover/Popover.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

QString folder;

void save(QWidget& popover, const QString& name)
{
    QTest::qWait(150);
    const QPixmap shot = popover.grab();
    ASSERT_TRUE(shot.save(folder + "/" + name + ".png")) << name.toStdString();
}

// Shown as the tray shows it: inside the popover's frame, which takes the view.
// Declared after the desk, the popover goes first, and the view with it.
std::unique_ptr<MenuBarPopover::Popover> framed(test::ContentViewDesk& desk)
{
    auto popover = std::make_unique<MenuBarPopover::Popover>();
    popover->setContentSize(ContentView::preferredSize);
    popover->setContent(desk.view.release());
    popover->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(popover.get()));
    return popover;
}

TEST(Screenshots, ThePopoverInItsStates)
{
    // The footer as the application shows it: its build and both commands.
    QAction quit("Quit Velmora"), checkForUpdates("Check for Updates…");
    {
        test::ContentViewDesk desk({.show = false, .versionLabel = "Version 0.1.0 (2026-12-11 09:30:00)",
                                    .quit = &quit, .checkForUpdates = &checkForUpdates});
        auto popover = framed(desk);
        desk.controller->setTranscript("Meeting notes for Friday.\nWe ship Kubernetes on Friday, after the review.");
        save(*popover, "popover-idle");

        desk.controller->startRecording(DictationActivationSource::popoverRecordButton());
        std::exchange(desk.recorder.pendingStart, {})(QString(desk.dir.path() + "/velmora-shot.wav"));
        QTest::qWait(1300);
        save(*popover, "popover-recording");

        desk.controller->stopRecording(DictationActivationSource::popoverRecordButton());
        std::exchange(desk.recorder.pendingStop, {})(QString(desk.dir.path() + "/velmora-shot.wav"));
        save(*popover, "popover-transcribing");
        desk.controller->cancelTranscription(DictationActivationSource::popoverCancelButton());

        desk.controller->startRecording(DictationActivationSource::popoverRecordButton());
        std::exchange(desk.recorder.pendingStart, {})(AudioRecorderError::noSoundServer());
        save(*popover, "popover-error");

        // Right after a dictation: the count of the transcript and the countdown to its clearing.
        desk.controller->clearTranscript();
        desk.controller->setTranscript("We ship Kubernetes on Friday, after the review. The release notes go out on Monday.");
        (void)desk.defaults.setBool(PreferenceKeys::autoClearTranscript, true);
        (void)desk.defaults.setInteger(PreferenceKeys::autoClearDelay, 30);
        desk.controller->startAutoClearCountdown();
        save(*popover, "popover-after-dictation");
    }
    {
        test::ContentViewDesk desk({.managedModel = true, .show = false});
        auto popover = framed(desk);
        desk.models.prepare(false);
        ASSERT_TRUE(test::waitUntil([&] { return desk.models.state().kind == WhisperModelState::Kind::missing; }, 5s));
        save(*popover, "popover-model-download");
    }
}

TEST(Screenshots, TheSettingsTopAndScrolled)
{
    QTemporaryDir home;
    platform::MemoryPreferencesStore bridgeDefaults;
    BrowserBridgeCoordinator bridge(&bridgeDefaults, home.path(), QString("/opt/Velmora/bin/velmora"),
                                    home.path() + "/bridge.sock", true);
    bridge.apply();
    test::ContentViewDesk desk({.show = false, .bridge = &bridge});
    for (const char* name : {"ggml-base.en.bin", "ggml-small.bin"})
        test::writeFile(desk.dir.path() + "/" + name, "model");
    desk.controller->setModelPath(desk.dir.path() + "/ggml-small.bin");
    desk.controller->setAutoClearTranscript(true);
    desk.controller->setVocabulary({{QUuid::createUuid(), "Kubernetes", {"Cooper Netties", "Kuber Nettis"}},
                                    {QUuid::createUuid(), "Maya", {"Maja", "Maia"}}});
    auto popover = framed(desk);
    auto* content = popover->findChild<ContentView*>();
    content->setShowsSetup(true);
    auto* settings = content->settingsView();
    ASSERT_NE(settings, nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return settings->findChildren<QWidget*>("modelRow").size() == 3; }, 5s));
    save(*popover, "settings-top");
    QScrollBar* bar = settings->scrollArea()->verticalScrollBar();
    bar->setValue(bar->maximum() / 2 + 60);
    save(*popover, "settings-middle");
    bar->setValue(bar->maximum());
    save(*popover, "settings-bottom");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(folder);
    return RUN_ALL_TESTS();
}
