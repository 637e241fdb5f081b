// The popover's content on a real display, drawn from a dictation controller
// whose recorder and transcription the test holds: keys through XTest, clicks
// through the toolkit.
#include "Dictation/DictationController.h"
#include "Model/WhisperModelManager.h"
#include "Preferences/PreferenceKeys.h"
#include "HotKeyCore/ShortcutRecorderController.h"
#include "Platform/MemoryPreferencesStore.h"
#include "Views/ContentView.h"
#include "Settings/HotKeySettingsSection.h"
#include "Views/DoubleTapPermissionHintView.h"
#include "Widgets/MessageBanner.h"
#include "Views/MicrophonePickerView.h"
#include "Widgets/ModelDownloadView.h"
#include "Views/RecordButton.h"
#include "Views/TranscriptEditor.h"

#include "ContentViewDesk.h"
#include "TestSupport.h"
#include "X11TestClient.h"

#include <QAction>
#include <QCheckBox>
#include <QSlider>
#include <QApplication>
#include <QMenu>
#include <QClipboard>
#include <QPushButton>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;
namespace Keys = PreferenceKeys;

namespace {

using test::ContentViewDesk;

TEST(ContentView, TheRecordButtonFollowsTheDictationAndSpaceWorksItButNeverInTheTranscript)
{
    ContentViewDesk desk;
    test::X11TestClient keyboard;
    using S = ContentViewText::RecordButtonState;
    RecordButton* record = desk.view->recordButton();
    EXPECT_EQ(record->state(), S::idle);
    EXPECT_EQ(record->toolTip(), "Toggle recording");
    EXPECT_FALSE(desk.visible("recordingTimer"));

    record->setFocus();
    keyboard.tap(test::keys::space);
    ASSERT_TRUE(test::waitUntil([&] { return desk.recorder.starts == 1; }));
    std::exchange(desk.recorder.pendingStart, {})(QString(desk.dir.path() + "/velmora-a.wav"));
    ASSERT_TRUE(desk.controller->isRecording());
    EXPECT_EQ(record->state(), S::recording);
    EXPECT_TRUE(desk.visible("recordingTimer"));
    EXPECT_EQ(desk.find<QLabel>("recordingTimer")->text(), "00:00");
    EXPECT_FALSE(desk.find<QToolButton>("clearButton")->isEnabled()) << "no clearing while recording";

    // Spaces typed in the transcript are the user's text, not the record key.
    desk.view->editor()->setFocus();
    keyboard.tap(test::keys::a);
    keyboard.tap(test::keys::space);
    keyboard.tap(test::keys::a);
    ASSERT_TRUE(test::waitUntil([&] { return desk.controller->transcript() == "a a"; }))
        << desk.controller->transcript().toStdString();
    EXPECT_EQ(desk.recorder.stops, 0);

    record->setFocus();
    keyboard.tap(test::keys::space);
    ASSERT_TRUE(test::waitUntil([&] { return desk.recorder.stops == 1; }));
    std::exchange(desk.recorder.pendingStop, {})(QString(desk.dir.path() + "/velmora-a.wav"));
    ASSERT_TRUE(test::waitUntil([&] { return desk.controller->isTranscribing(); }));
    EXPECT_EQ(record->state(), S::transcribing);
    EXPECT_EQ(record->toolTip(), "Cancel transcription");

    // While transcribing the button cancels; it never starts a second recording.
    QTest::mouseClick(record, Qt::LeftButton, {}, record->rect().center());
    EXPECT_FALSE(desk.controller->isTranscribing());
    EXPECT_EQ(desk.controller->statusMessage(), "Transcription canceled");
    EXPECT_EQ(desk.recorder.starts, 1);
    EXPECT_EQ(desk.find<QLabel>("statusMessage")->text(), "Transcription canceled");
}

// A held key repeats (desktops leave repeat on): a held Space is still one press. The
// rig's server does not repeat a key held through XTest, so the repeats are sent as a
// keyboard sends them: presses of a key that is already down.
TEST(ContentView, AHeldSpaceIsOneActionNotOnePerRepeat)
{
    ContentViewDesk desk;
    test::X11TestClient keyboard;
    QWidget* space = nullptr; // the view's own focus, where Space is the record key
    desk.view->recordButton()->setFocus();
    space = QApplication::focusWidget();
    ASSERT_NE(space, nullptr);
    int repeats = 0;
    struct RepeatCounter : QObject {
        int* count;
        explicit RepeatCounter(int* c) : count(c) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            // A repeat reaches the shortcuts first, whether it then goes on as a press or not.
            if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->isAutoRepeat())
                ++*count;
            return false;
        }
    } counter(&repeats);
    qApp->installEventFilter(&counter);

    keyboard.press(test::keys::space);
    ASSERT_TRUE(test::waitUntil([&] { return desk.recorder.starts == 1; }));
    std::exchange(desk.recorder.pendingStart, {})(QString(desk.dir.path() + "/velmora-a.wav"));
    for (int i = 0; i < 20; ++i)
        keyboard.press(test::keys::space, 33); // held at 30 repeats a second
    keyboard.release(test::keys::space);
    keyboard.sync();
    QTest::qWait(100);
    qApp->removeEventFilter(&counter);
    EXPECT_GE(repeats, 3) << "the key really repeated";
    EXPECT_EQ(desk.recorder.starts, 1);
    EXPECT_EQ(desk.recorder.stops, 0) << "a repeat is no second press";
    EXPECT_TRUE(desk.controller->isRecording());

    keyboard.tap(test::keys::space);
    ASSERT_TRUE(test::waitUntil([&] { return desk.recorder.stops == 1; }));
    EXPECT_EQ(desk.recorder.starts, 1);
    std::exchange(desk.recorder.pendingStop, {})(QString(desk.dir.path() + "/velmora-a.wav"));
    EXPECT_TRUE(desk.controller->isTranscribing()) << "not cancelled by a repeat";
}

// After a dictation, at the popover's own size and with the longest texts it can show,
// every footer item is whole and none lies over another.
TEST(ContentView, TheFooterShowsEveryItemWholeAndNothingOverlaps)
{
    QAction quit("Quit Velmora"), checkForUpdates("Check for Updates…");
    ContentViewDesk desk({.versionLabel = "Version 10.10.10 (2026-12-31 23:59:59)", .quit = &quit,
                          .checkForUpdates = &checkForUpdates});
    desk.controller->setTranscript(QString(123456, QChar('w')));
    (void)desk.defaults.setBool(Keys::autoClearTranscript, true);
    (void)desk.defaults.setInteger(Keys::autoClearDelay, 60);
    desk.controller->startAutoClearCountdown();
    ASSERT_TRUE(test::waitUntil([&] { return desk.visible("autoClearCountdown"); }));
    QApplication::processEvents();
    ASSERT_EQ(desk.view->size(), ContentView::preferredSize);

    const char* names[] = {"versionLabel", "characterCount", "autoClearCountdown", "checkForUpdatesButton", "quitButton"};
    QList<std::pair<const char*, QRect>> placed;
    for (const char* name : names) {
        auto* widget = desk.find<QWidget>(name);
        ASSERT_NE(widget, nullptr) << name;
        ASSERT_TRUE(widget->isVisible()) << name;
        const QRect rect(widget->mapTo(desk.view.get(), QPoint(0, 0)), widget->size());
        EXPECT_TRUE(desk.view->rect().contains(rect)) << name << " lies inside the popover";
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_GE(label->contentsRect().width(), label->fontMetrics().horizontalAdvance(label->text()))
                << name << ": \"" << label->text().toStdString() << "\" is cut";
        } else {
            auto* button = qobject_cast<QToolButton*>(widget);
            ASSERT_NE(button, nullptr) << name;
            EXPECT_GE(button->width(), button->sizeHint().width()) << name << " is cut";
            EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text())) << name;
        }
        for (const auto& [other, otherRect] : placed)
            EXPECT_FALSE(rect.intersects(otherRect)) << name << " lies over " << other;
        placed.append({name, rect});
    }
    EXPECT_EQ(desk.find<QLabel>("characterCount")->text(), "123456");
    EXPECT_EQ(desk.find<QLabel>("autoClearCountdown")->text(), "⟲ 60s");
}

TEST(ContentView, CopyClearCountAndTheCopiedToast)
{
    ContentViewDesk desk;
    auto* copy = desk.find<QToolButton>("copyButton");
    auto* clear = desk.find<QToolButton>("clearButton");
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_TRUE(clear->isEnabled()) << "an empty transcript does not disable clearing";
    EXPECT_FALSE(desk.visible("characterCount"));

    desk.controller->setTranscript(" \n\t ");
    EXPECT_FALSE(copy->isEnabled()) << "white space only counts as empty";
    EXPECT_FALSE(desk.visible("characterCount"));

    desk.controller->setTranscript("Grüße 👍🏽");
    EXPECT_TRUE(copy->isEnabled());
    EXPECT_TRUE(desk.visible("characterCount"));
    EXPECT_EQ(desk.find<QLabel>("characterCount")->text(), "7");

    QTest::mouseClick(copy, Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), "Grüße 👍🏽");
    EXPECT_TRUE(desk.visible("copiedToast"));
    EXPECT_TRUE(test::waitUntil([&] { return !desk.visible("copiedToast"); }, 2s));

    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_EQ(desk.controller->transcript(), "");
    EXPECT_EQ(desk.view->editor()->toPlainText(), "");
    EXPECT_EQ(desk.view->editor()->placeholderText(), "Your dictation appears here.");
}

TEST(ContentView, EditingStopsTheAutoClearAndErrorsShowInTheBanner)
{
    ContentViewDesk desk;
    (void)desk.defaults.setBool(Keys::autoClearTranscript, true);
    desk.controller->setTranscript("Keep me.");
    desk.controller->startAutoClearCountdown();
    ASSERT_TRUE(test::waitUntil([&] { return desk.visible("autoClearCountdown"); }, 2s));
    EXPECT_TRUE(desk.find<QLabel>("autoClearCountdown")->text().endsWith("s"));

    desk.view->editor()->setFocus();
    QTest::keyClick(desk.view->editor(), Qt::Key_End);
    QTest::keyClicks(desk.view->editor(), " Yes");
    EXPECT_EQ(desk.controller->transcript(), "Keep me. Yes");
    EXPECT_EQ(desk.controller->autoClearRemaining(), 0) << "an edited transcript is never cleared under the user";
    EXPECT_FALSE(desk.visible("autoClearCountdown"));

    EXPECT_FALSE(desk.visible("errorBanner"));
    desk.controller->startRecording(DictationActivationSource::popoverRecordButton());
    std::exchange(desk.recorder.pendingStart, {})(AudioRecorderError::noSoundServer());
    ASSERT_FALSE(desk.controller->errorMessage().isEmpty());
    EXPECT_TRUE(desk.visible("errorBanner"));
    EXPECT_EQ(desk.find<MessageBanner>("errorBanner")->message(), desk.controller->errorMessage());
}

TEST(MicrophonePicker, AnUnpluggedChoiceShowsSystemDefaultWithAnOrangeDotAndNoCheckmark)
{
    ContentViewDesk desk;
    auto* picker = desk.view->findChild<MicrophonePickerView*>();
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->deviceText(), "System Default");
    EXPECT_TRUE(picker->dotIsGreen());

    desk.devices.setSelectedDeviceUID(QString("alsa_input.usb-Blue_Yeti-00.analog-stereo"));
    EXPECT_EQ(desk.find<QLabel>("microphoneName")->text(), "System Default") << "the device is not plugged in";
    EXPECT_FALSE(picker->dotIsGreen());
    emit picker->menu()->aboutToShow();
    const auto items = picker->menu()->actions();
    ASSERT_FALSE(items.isEmpty());
    EXPECT_EQ(items.first()->text(), "System Default");
    for (QAction* item : items)
        EXPECT_FALSE(item->isChecked()) << item->text().toStdString();

    items.first()->trigger();
    EXPECT_FALSE(desk.defaults.stringValue(PreferenceKeys::selectedAudioDeviceUID).has_value()) << "the key is removed";
    EXPECT_TRUE(picker->dotIsGreen());
}

TEST(DoubleTapPermissionHint, ShownOnlyWhileTheSessionHidesModifierKeysFromADoubleTapTrigger)
{
    bool granted = false;
    DoubleTapPermissionState::Settings settings{HotKeyMode::doubleTap, true};
    DoubleTapPermissionState state([&] { return granted; }, [&] { return settings; }, [] {});
    DoubleTapPermissionHintView hint(state);
    hint.show();
    state.refresh();
    EXPECT_TRUE(hint.isVisible());
    EXPECT_EQ(hint.findChild<MessageBanner*>()->message(),
              "Double-tap cannot see modifier key presses in this session. Without it, nothing happens.");
    settings.mode = HotKeyMode::combination;
    state.refresh();
    EXPECT_FALSE(hint.isVisible());
    settings = {HotKeyMode::doubleTap, false};
    state.refresh();
    EXPECT_FALSE(hint.isVisible()) << "the trigger is off";
    settings.enabled = true;
    granted = true;
    state.refresh();
    EXPECT_FALSE(hint.isVisible());

    // A Wayland session whose keyboards Velmora may not read: the hint says what is missing.
    DoubleTapPermissionState wayland([] { return true; }, [&] { return settings; }, [] {},
                                     "needs read access to the keyboard devices: add yourself to the input group");
    DoubleTapPermissionHintView waylandHint(wayland);
    waylandHint.show();
    EXPECT_FALSE(wayland.hasPermission()) << "X11 access alone does not reach Wayland windows";
    EXPECT_TRUE(waylandHint.isVisible());
    EXPECT_EQ(waylandHint.findChild<MessageBanner*>()->message(),
              "needs read access to the keyboard devices: add yourself to the input group");
}

// On Wayland the combination reaches Velmora only from X11 windows: the section says how to bind the toggle.
TEST(HotKeySettingsSection, SaysWhereTheCombinationCannotReach)
{
    platform::MemoryPreferencesStore defaults;
    HotKeyCore::ShortcutRecorderController recorder;
    DoubleTapPermissionState permission([] { return true; }, [] { return DoubleTapPermissionState::Settings{}; }, [] {});
    const QString limits = "On Wayland the hot key reaches Velmora only while an X11 window is in front: "
                           "add \"bindsym ctrl+space exec velmora --toggle\" to ~/.config/sway/config";
    HotKeySettingsSection wayland(defaults, recorder, permission, [] {}, nullptr, limits);
    wayland.show();
    auto* banner = wayland.findChild<MessageBanner*>("hotKeySessionBanner");
    ASSERT_NE(banner, nullptr);
    EXPECT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->message(), limits);
    HotKeySettingsSection x11(defaults, recorder, permission, [] {}, nullptr, QString());
    EXPECT_EQ(x11.findChild<MessageBanner*>("hotKeySessionBanner"), nullptr);
}

TEST(HotKeySettingsSection, EachChangeIsSavedAndAnnouncedAtOnce)
{
    platform::MemoryPreferencesStore defaults;
    HotKeyCore::ShortcutRecorderController recorder;
    DoubleTapPermissionState permission([] { return true; }, [] { return DoubleTapPermissionState::Settings{}; }, [] {});
    int announced = 0;
    HotKeySettingsSection section(defaults, recorder, permission, [&] { ++announced; });
    section.show();
    section.activateWindow();
    ASSERT_TRUE(test::waitUntil([&] { return section.isActiveWindow(); }, 5s));
    const auto find = [&](const char* name) { return section.findChild<QWidget*>(name); };
    auto* enabled = section.findChild<QCheckBox*>("hotKeyEnabled");
    auto* field = section.findChild<QPushButton*>("shortcutField");
    EXPECT_TRUE(enabled->isChecked());
    EXPECT_EQ(field->text(), "Ctrl+Space");

    // Unticking hides the mode controls and is saved and announced.
    enabled->click();
    EXPECT_EQ(defaults.boolValue(PreferenceKeys::hotKeyEnabled), false);
    EXPECT_EQ(announced, 1);
    EXPECT_FALSE(find("shortcutField")->isVisible());
    enabled->click();
    EXPECT_TRUE(field->isVisible());

    // A recorded shortcut: Alt+D pressed on the keyboard.
    test::X11TestClient keyboard;
    field->click();
    EXPECT_EQ(field->text(), "Recording…");
    EXPECT_EQ(section.findChild<QLabel*>("shortcutHint")->text(), "Press modifier + key. Escape to cancel.");
    keyboard.chord({test::keys::option}, 2 /* D */);
    ASSERT_TRUE(test::waitUntil([&] { return !recorder.isRecording(); }, 2s));
    EXPECT_EQ(defaults.integerValue(PreferenceKeys::hotKeyCode), 2);
    EXPECT_EQ(defaults.integerValue(PreferenceKeys::hotKeyModifiers), 0x800);
    EXPECT_EQ(field->text(), "Alt+D");

    // A key without a modifier is refused and says why, under the field.
    field->click();
    keyboard.tap(2);
    ASSERT_TRUE(test::waitUntil([&] { return section.recordingError().has_value(); }, 2s));
    EXPECT_EQ(section.findChild<QLabel*>("shortcutHint")->text(), *section.recordingError());
    keyboard.tap(test::keys::escape);
    ASSERT_TRUE(test::waitUntil([&] { return !recorder.isRecording(); }, 2s));
    EXPECT_EQ(defaults.integerValue(PreferenceKeys::hotKeyCode), 2) << "the refusal stored nothing";

    // Reset restores Ctrl+Space and switches the trigger on.
    enabled->click();
    section.resetHotKeyToDefault();
    EXPECT_EQ(defaults.integerValue(PreferenceKeys::hotKeyCode), 49);
    EXPECT_EQ(defaults.integerValue(PreferenceKeys::hotKeyModifiers), 0x1000);
    EXPECT_EQ(defaults.boolValue(PreferenceKeys::hotKeyEnabled), true);
    EXPECT_FALSE(section.recordingError().has_value());
    EXPECT_EQ(field->text(), "Ctrl+Space");

    // Double tap: the modifier and the speed, 50 to 300 ms.
    const int before = announced;
    const auto buttons = section.findChildren<QToolButton*>();
    const auto button = [&](const QString& text) {
        for (QToolButton* b : buttons)
            if (b->text() == text)
                return b;
        return static_cast<QToolButton*>(nullptr);
    };
    button("Double-Tap")->click();
    EXPECT_EQ(defaults.stringValue(PreferenceKeys::hotKeyMode), "doubleTap");
    button("Alt")->click();
    EXPECT_EQ(defaults.stringValue(PreferenceKeys::doubleTapModifier), "option");
    EXPECT_EQ(section.findChild<QLabel*>("doubleTapLine")->text(), "Double-tap Alt to toggle recording");
    auto* speed = section.findChild<QSlider*>("doubleTapSpeed");
    auto* speedValue = section.findChild<QLabel*>("doubleTapSpeedValue");
    EXPECT_EQ(speedValue->text(), "300 ms");
    speed->setValue(speed->minimum() - 5);
    EXPECT_EQ(speedValue->text(), "50 ms");
    EXPECT_DOUBLE_EQ(*defaults.doubleValue(PreferenceKeys::doubleTapThreshold), 0.05);
    speed->setValue(speed->maximum() + 5);
    EXPECT_EQ(speedValue->text(), "300 ms");
    EXPECT_EQ(announced, before + 4);
}

TEST(TranscriptEditor, KeepsCaretAndUndoWhileTheValueIsUnchanged)
{
    TranscriptEditor editor;
    editor.show();
    QSignalSpy edits(&editor, &TranscriptEditor::edited);
    editor.setModelText("Hello world");
    EXPECT_EQ(editor.textCursor().position(), 11) << "a new value puts the caret at the end";
    EXPECT_EQ(edits.count(), 0) << "the model's own value is no edit";

    QTextCursor cursor = editor.textCursor();
    cursor.setPosition(5);
    editor.setTextCursor(cursor);
    QTest::keyClicks(&editor, ",");
    ASSERT_EQ(edits.count(), 1);
    EXPECT_EQ(edits.last().at(0).toString(), "Hello, world");
    editor.setModelText("Hello, world"); // the binding echoes the edit back
    EXPECT_EQ(editor.textCursor().position(), 6) << "typing does not move the caret";
    EXPECT_TRUE(editor.document()->isUndoAvailable());
    editor.undo();
    EXPECT_EQ(editor.toPlainText(), "Hello world");

    // Typed dashes and quotes stay as typed.
    editor.setModelText("");
    QTest::keyClicks(&editor, "--\"quoted\" 'x'...");
    EXPECT_EQ(editor.toPlainText(), "--\"quoted\" 'x'...");

    editor.setModelText("New dictation.\nSecond line.");
    EXPECT_EQ(editor.textCursor().position(), editor.toPlainText().size());
    EXPECT_FALSE(editor.textCursor().hasSelection());
}

TEST(ModelDownloadGate, TheCardReplacesTheRecordButtonOnlyForTheManagedModel)
{
    ContentViewDesk custom;
    EXPECT_FALSE(custom.find<ModelDownloadView>("modelDownloadView")->isVisible())
        << "a model of the user's own never shows the card";
    EXPECT_TRUE(custom.view->recordButton()->isVisible());

    ContentViewDesk managed({.managedModel = true});
    managed.models.prepare(false); // the file is not there
    ASSERT_TRUE(test::waitUntil([&] { return managed.models.state().kind == WhisperModelState::Kind::missing; }, 5s));
    EXPECT_TRUE(managed.find<ModelDownloadView>("modelDownloadView")->isVisible());
    EXPECT_FALSE(managed.view->recordButton()->isVisible());
    EXPECT_EQ(managed.find<QLabel>("modelTitle")->text(), "Speech model needed");
    EXPECT_EQ(managed.find<QPushButton>("modelAction")->text(), "Download");
}

} // namespace
