#include "FakeActivationInput.h"

#include "HotKeyCore/ModifierFlags.h"
#include "HotKeyCore/ShortcutRecorderController.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace HotKeyCore;
using velmora::test::TableLayout;

namespace {

constexpr std::uint64_t ctrl = controlFlag, shift = shiftFlag;

struct Recording {
    std::shared_ptr<TableLayout> layout = std::make_shared<TableLayout>(TableLayout::us());
    ShortcutRecorderController recorder{layout};
    std::vector<KeyShortcut> captured;
    std::vector<QString> messages;
    int cancels = 0;

    void start()
    {
        recorder.startRecordingKeyShortcut([this](const KeyShortcut& s) { captured.push_back(s); },
                                           [this](const QString& m) { messages.push_back(m); }, [this] { ++cancels; });
    }
};

KeyEvent key(std::uint32_t code, std::uint64_t flags, const char* typed = nullptr, const char* plain = nullptr)
{
    KeyEvent event{code, flags, std::nullopt, std::nullopt};
    if (typed)
        event.characters = QString::fromUtf8(typed);
    if (plain)
        event.charactersIgnoringModifiers = QString::fromUtf8(plain);
    return event;
}

} // namespace

TEST(ShortcutRecorder, EscapeCancelsOnceAndIsSwallowed)
{
    Recording r;
    r.start();
    EXPECT_TRUE(r.recorder.handleKeyDown(key(53, 0)));
    EXPECT_EQ(r.cancels, 1);
    EXPECT_FALSE(r.recorder.isRecording());
    EXPECT_FALSE(r.recorder.handleKeyDown(key(53, 0))) << "not recording: keys pass on";
    EXPECT_EQ(r.cancels, 1);
}

TEST(ShortcutRecorder, RefusesKeysWithoutModifierAndKeepsRecording)
{
    Recording r;
    r.start();
    r.recorder.handleFlagsChanged(ctrl);
    EXPECT_EQ(r.recorder.previewModifiers(), 0x1000u);
    r.recorder.handleFlagsChanged(0);
    EXPECT_EQ(r.recorder.previewModifiers(), 0u);
    EXPECT_TRUE(r.recorder.handleKeyDown(key(59, ctrl))) << "a modifier key is swallowed";
    EXPECT_TRUE(r.captured.empty());

    EXPECT_TRUE(r.recorder.handleKeyDown(key(0, 0, "a", "a")));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], "Please include at least one modifier key.");
    EXPECT_TRUE(r.recorder.isRecording());

    // Shift+9 types "(" on US: Shift is part of the character, so nothing is left.
    EXPECT_TRUE(r.recorder.handleKeyDown(key(25, shift, "(", "(")));
    EXPECT_EQ(r.messages.size(), 2u);
    EXPECT_TRUE(r.recorder.isRecording());

    EXPECT_TRUE(r.recorder.handleKeyDown(key(0, ctrl, "\x01", "a")));
    ASSERT_EQ(r.captured.size(), 1u);
    EXPECT_EQ(r.captured[0], KeyShortcut(0, 0x1000, "a"));
    EXPECT_FALSE(r.recorder.isRecording());
    EXPECT_EQ(r.cancels, 0);
}

TEST(ShortcutRecorder, KeyCodeFormAndRestart)
{
    ShortcutRecorderController recorder{std::make_shared<TableLayout>(TableLayout::us())};
    int firstCancels = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> first, second;
    recorder.startRecording([&](std::uint32_t k, std::uint32_t m) { first.emplace_back(k, m); }, {},
                            [&] { ++firstCancels; });
    QSignalSpy stops(&recorder, &ShortcutRecorderController::isRecordingChanged);
    recorder.startRecording([&](std::uint32_t k, std::uint32_t m) { second.emplace_back(k, m); });
    EXPECT_EQ(firstCancels, 0) << "a restart replaces the closures without cancelling";
    EXPECT_TRUE(stops.isEmpty()) << "and stays recording throughout";
    // The key-code form takes Shift+9 as it is.
    EXPECT_TRUE(recorder.handleKeyDown(key(25, ctrl | shift, "(", "(")));
    EXPECT_TRUE(first.empty());
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0], std::make_pair(25u, 0x1200u));
    recorder.cancelRecording(); // nothing to cancel: no closure left
    EXPECT_EQ(firstCancels, 0);
}

TEST(ShortcutRecorder, SeesKeysBeforeTheFocusedWidgetAndItsShortcuts)
{
    Recording r;
    QLineEdit field;
    int quits = 0;
    QShortcut quit(QKeySequence(Qt::CTRL | Qt::Key_Q), &field);
    QObject::connect(&quit, &QShortcut::activated, [&] { ++quits; });
    r.start();

    // X key code 24 is Q; the recorder reads the position from it.
    QKeyEvent controlQ(QEvent::KeyPress, Qt::Key_Q, Qt::ControlModifier, 24, 0, 0, QStringLiteral("\x11"));
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, 23, 0, 0, QStringLiteral("\t"));
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 38, 0, 0, QStringLiteral("a"));
    QApplication::sendEvent(&field, &tab);
    QApplication::sendEvent(&field, &a);
    EXPECT_TRUE(field.text().isEmpty()) << "keys handled while recording never reach the widget";
    EXPECT_EQ(r.messages.size(), 2u);

    QKeyEvent overrideQ(QEvent::ShortcutOverride, Qt::Key_Q, Qt::ControlModifier, 24, 0, 0);
    QApplication::sendEvent(&field, &overrideQ);
    EXPECT_TRUE(overrideQ.isAccepted()) << "claimed, so no application shortcut fires";
    QApplication::sendEvent(&field, &controlQ);
    ASSERT_EQ(r.captured.size(), 1u);
    EXPECT_EQ(r.captured[0], KeyShortcut(12, 0x1000, "q"));
    EXPECT_EQ(quits, 0);

    QKeyEvent after(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 38, 0, 0, QStringLiteral("a"));
    QApplication::sendEvent(&field, &after);
    EXPECT_EQ(field.text(), "a") << "after recording, keys pass on";
}
