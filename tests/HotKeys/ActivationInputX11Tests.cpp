#include "TestSupport.h"
#include "X11TestClient.h"

#include "HotKeyCore/GlobalHotKeyManager.h"
#include "HotKeyCore/KeyShortcutRules.h"
#include "HotKeyCore/KeyboardLayoutShortcut.h"
#include "HotKeyCore/ModifierFlags.h"
#include "HotKeyCore/ShortcutRecorderController.h"
#include "HotKeys/DoubleTapModifierManager.h"
#include "Platform/ActivationInput.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <iostream>

using namespace HotKeyCore;
using namespace velmora;
namespace keys = test::keys;

namespace {

constexpr std::uint32_t ctrl = controlKeyMask, shift = shiftKeyMask, alt = optionKeyMask;
constexpr std::uint16_t xControl = 4, xLock = 2;

// Every test leaves the display on a US layout.
class X11Input : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(client.isConnected()) << "the test needs the rig's X display";
        ASSERT_TRUE(test::setKeyboardLayout("us"));
    }
    void TearDown() override { EXPECT_TRUE(test::setKeyboardLayout("us")); }

    // Switches the layout and waits until the given source has read it.
    void switchLayout(platform::KeyboardLayoutSource& layout, const QString& name)
    {
        QSignalSpy changed(&layout, &platform::KeyboardLayoutSource::layoutChanged);
        ASSERT_TRUE(test::setKeyboardLayout(name));
        ASSERT_TRUE(changed.wait(5000)) << "no layout notice for " << name.toStdString();
    }

    test::X11TestClient client;
};

struct HotKeyRig {
    std::shared_ptr<platform::KeyboardLayoutSource> layout = platform::ActivationInput::keyboardLayout();
    GlobalHotKeyManager manager{"VLHR", platform::ActivationInput::globalShortcuts(), layout};
    int presses = 0;
    bool onMainThread = true;

    HotKeyRig()
    {
        manager.onHotKeyPressed = [this] {
            onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
            ++presses;
        };
    }
    bool waitForPresses(int count) { return test::waitUntil([&] { return presses >= count; }); }
};

} // namespace

TEST_F(X11Input, LayoutLookupOnRealUsAndGermanKeymaps)
{
    const auto layout = platform::ActivationInput::keyboardLayout();
    ASSERT_TRUE(layout->hasLayout());
    EXPECT_EQ(layout->typedText(keys::a, 0), "a");
    EXPECT_EQ(layout->typedText(keys::a, shift), "A");
    EXPECT_EQ(keyboardLayoutShortcut("|", layout.get()), (KeyboardLayoutShortcut{keys::backslash, shift}))
        << "a base keymap's unreachable AltGr must not win";
    EXPECT_EQ(keyboardLayoutShortcut("(", layout.get()), (KeyboardLayoutShortcut{keys::nine, shift}));
    EXPECT_EQ(keyShortcut({keys::nine, controlFlag | shiftFlag, QString("("), QString("(")}, layout.get()),
              KeyShortcut(keys::nine, ctrl, "("));

    switchLayout(*layout, "de");
    EXPECT_EQ(keyboardLayoutShortcut("|", layout.get()), (KeyboardLayoutShortcut{keys::iso, alt}));
    EXPECT_EQ(keyboardLayoutShortcut("z", layout.get()), (KeyboardLayoutShortcut{16, 0}));
    EXPECT_EQ(keyboardLayoutShortcut("(", layout.get()), (KeyboardLayoutShortcut{28, shift}));
    EXPECT_EQ(keyboardLayoutShortcut("@", layout.get()), (KeyboardLayoutShortcut{keys::q, alt}));
    const KeyEvent altGrIso{keys::iso, controlFlag | optionFlag, QString("|"), QString("<")};
    EXPECT_EQ(keyShortcut(altGrIso, layout.get()), KeyShortcut(keys::iso, ctrl, "|"));
    EXPECT_TRUE(keyShortcutMatches(KeyShortcut(keys::backslash, ctrl, "|"), altGrIso, layout.get()));
}

TEST_F(X11Input, HotKeyPressesArriveOnceOnTheMainThreadWithLocksOn)
{
    HotKeyRig rig;
    ASSERT_TRUE(rig.manager.registerSettings(HotKeySettings()));
    ASSERT_TRUE(rig.manager.registerSettings(HotKeySettings())) << "registering twice keeps one grab";

    int expected = 0;
    const auto pressControlSpace = [&] {
        client.chord({keys::control}, keys::space);
        ASSERT_TRUE(rig.waitForPresses(++expected));
    };
    pressControlSpace();
    client.tap(keys::capsLock);
    pressControlSpace();
    client.tap(keys::capsLock);
    client.tap(keys::numLock);
    pressControlSpace();
    client.tap(keys::capsLock);
    pressControlSpace(); // both locks
    client.tap(keys::capsLock);
    client.tap(keys::numLock);

    // Held past the repeat delay: still one press.
    client.press(keys::control);
    client.press(keys::space);
    client.release(keys::space, 1200);
    client.release(keys::control);
    ASSERT_TRUE(rig.waitForPresses(++expected));
    client.sync();
    QTest::qWait(100);
    EXPECT_EQ(rig.presses, expected) << "a held hot key toggles once";
    EXPECT_TRUE(rig.onMainThread);

    // Quick presses that share the server's millisecond are each a press.
    for (int i = 0; i < 10; ++i)
        client.chord({keys::control}, keys::space);
    expected += 10;
    ASSERT_TRUE(rig.waitForPresses(expected));

    // Control+Shift+Space is another combination.
    client.chord({keys::control, keys::shift}, keys::space);
    pressControlSpace();
    EXPECT_EQ(rig.presses, expected);
}

TEST_F(X11Input, NothingFiresAfterUnregisterOrForADisabledHotKey)
{
    HotKeyRig rig;
    ASSERT_TRUE(rig.manager.registerSettings(HotKeySettings()));
    rig.manager.unregister();
    client.chord({keys::control}, keys::space);
    ASSERT_TRUE(rig.manager.registerSettings(HotKeySettings(false, keys::space, ctrl)));
    client.chord({keys::control}, keys::space);
    // Presses are delivered in order: once this one arrives, the two above would have.
    ASSERT_TRUE(rig.manager.registerSettings(HotKeySettings(true, keys::a, ctrl | alt)));
    client.chord({keys::control, keys::option}, keys::a);
    ASSERT_TRUE(rig.waitForPresses(1));
    client.sync();
    QTest::qWait(50);
    EXPECT_EQ(rig.presses, 1);
}

TEST_F(X11Input, ACombinationHeldByAnotherClientIsRefusedWhole)
{
    test::X11TestClient other;
    // The other client holds only the Caps Lock variant: the registration must
    // fail and leave none of its variants behind.
    ASSERT_TRUE(other.grabKey(keys::space, xControl | xLock));
    HotKeyRig rig;
    QSignalSpy changed(&rig.manager, &GlobalHotKeyManager::registrationChanged);
    EXPECT_FALSE(rig.manager.registerSettings(HotKeySettings()));
    EXPECT_EQ(rig.manager.registrationError(), platform::ShortcutGrabError::refused);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(rig.manager.registeredSettings(), HotKeySettings()) << "kept for the next try";
    client.chord({keys::control}, keys::space);

    // Another combination still registers, and its press arrives after the one above.
    ASSERT_TRUE(rig.manager.registerSettings(HotKeySettings(true, keys::a, ctrl | alt)));
    EXPECT_FALSE(rig.manager.registrationError());
    client.chord({keys::control, keys::option}, keys::a);
    ASSERT_TRUE(rig.waitForPresses(1));
    client.sync();
    QTest::qWait(50);
    EXPECT_EQ(rig.presses, 1) << "no variant of the refused grab stayed behind";
}

TEST_F(X11Input, ACharacterHotKeyFollowsALayoutSwitch)
{
    HotKeyRig rig;
    ASSERT_TRUE(rig.manager.registerSettings(HotKeySettings(true, keys::backslash, ctrl, "|")));
    client.chord({keys::control, keys::shift}, keys::backslash);
    ASSERT_TRUE(rig.waitForPresses(1));

    switchLayout(*rig.layout, "de");
    EXPECT_TRUE(rig.manager.isRegistered());
    client.chord({keys::control, keys::shift}, keys::backslash); // "'" on German: not the hot key
    client.chord({keys::control, keys::rightOption}, keys::iso);  // Control+AltGr+< types "|"
    ASSERT_TRUE(rig.waitForPresses(2));
    client.sync();
    QTest::qWait(50);
    EXPECT_EQ(rig.presses, 2);
}

TEST_F(X11Input, ADoubleTapOfControlFiresOnce)
{
    DoubleTapModifierManager manager;
    manager.threshold = 0.3;
    int fired = 0;
    manager.onDoubleTap = [&] { ++fired; };
    manager.start();
    ASSERT_TRUE(manager.isRunning());

    client.press(keys::control);
    client.release(keys::control, 30);
    client.press(keys::control, 80);
    client.release(keys::control, 30);
    ASSERT_TRUE(test::waitUntil([&] { return fired == 1; }));

    // Slow taps, and a tap spoiled by Shift, fire nothing; a quick pair after them does.
    client.press(keys::control, 400);
    client.release(keys::control, 30);
    client.press(keys::control, 450);
    client.press(keys::shift, 20);
    client.release(keys::shift, 20);
    client.release(keys::control, 20);
    client.press(keys::control, 50);
    client.release(keys::control, 30);
    client.press(keys::control, 50);
    client.release(keys::control, 30);
    ASSERT_TRUE(test::waitUntil([&] { return fired == 2; }));
    client.sync();
    QTest::qWait(50);
    EXPECT_EQ(fired, 2);

    manager.stop();
    client.tap(keys::control);
    client.tap(keys::control);
    client.sync();
    QTest::qWait(100);
    EXPECT_EQ(fired, 2) << "nothing after stop()";
}

TEST_F(X11Input, RecorderInARealWindowSuspendsTheHotKeyAndOwnsTabAndEscape)
{
    HotKeyRig rig;
    ASSERT_TRUE(rig.manager.registerSettings(HotKeySettings()));
    ShortcutRecorderController recorder(rig.layout);
    QObject::connect(&recorder, &ShortcutRecorderController::isRecordingChanged, &rig.manager,
                     &GlobalHotKeyManager::setSuspended);

    QDialog dialog;
    auto* first = new QLineEdit(&dialog);
    auto* second = new QLineEdit(&dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(first);
    layout->addWidget(second);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    first->setFocus();
    ASSERT_TRUE(test::waitUntil([&] { return first->hasFocus(); }));

    std::vector<KeyShortcut> captured;
    std::vector<QString> messages;
    int cancels = 0;
    const auto start = [&] {
        recorder.startRecordingKeyShortcut([&](const KeyShortcut& s) { captured.push_back(s); },
                                           [&](const QString& m) { messages.push_back(m); }, [&] { ++cancels; });
    };
    start();
    EXPECT_TRUE(rig.manager.isSuspended());

    client.tap(keys::tab);
    // Rarely, on a loaded machine, the window manager moves the focus after the window
    // has become active and the key goes elsewhere; the key is sent again then, once.
    if (!test::waitUntil([&] { return !messages.empty(); }, std::chrono::seconds(2))) {
        std::cerr << "Tab did not reach the recorder: active " << dialog.isActiveWindow() << ", focus "
                  << (QApplication::focusWidget() == first) << ", captured " << captured.size() << "; again\n";
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        first->setFocus();
        client.tap(keys::tab);
    }
    ASSERT_TRUE(test::waitUntil([&] { return messages.size() == 1; }));
    client.sync();
    QTest::qWait(50);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(first->hasFocus()) << "Tab belongs to the recorder while it records";

    client.chord({keys::control}, keys::space);
    ASSERT_TRUE(test::waitUntil([&] { return captured.size() == 1; }));
    EXPECT_EQ(captured[0], KeyShortcut(keys::space, ctrl, " "));
    EXPECT_EQ(rig.presses, 0) << "the combination reached the recorder, not the global grab";
    EXPECT_FALSE(rig.manager.isSuspended());

    start();
    client.tap(keys::escape);
    ASSERT_TRUE(test::waitUntil([&] { return cancels == 1; }));
    EXPECT_TRUE(dialog.isVisible()) << "Escape did not reach the dialog";

    // On a German layout Control+AltGr+< is recorded as Control with "|".
    switchLayout(*rig.layout, "de");
    start();
    client.chord({keys::control, keys::rightOption}, keys::iso);
    ASSERT_TRUE(test::waitUntil([&] { return captured.size() == 2; }));
    EXPECT_EQ(captured[1], KeyShortcut(keys::iso, ctrl, "|"));
    EXPECT_TRUE(first->text().isEmpty());

    client.chord({keys::control}, keys::space);
    ASSERT_TRUE(rig.waitForPresses(1)) << "the hot key is back once recording stops";
}
