// The popover module on a real X display: placement against an item that may
// not be on screen yet, and the rules that close it (clicks with xdotool, keys
// with XTest), together with the Quit command and the shortcut recorder.
#include "AppCommands/AccessoryAppCommandMenu.h"
#include "HotKeyCore/ShortcutRecorderController.h"
#include "MenuBarPopover/MenuBarPopoverCloseMonitor.h"
#include "MenuBarPopover/MenuBarPopoverController.h"
#include "MenuBarPopover/MenuBarStatusItemPlacement.h"
#include "MenuBarPopover/Popover.h"

#include "TestSupport.h"
#include "X11TestClient.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace velmora;
using namespace MenuBarPopover;
using namespace std::chrono_literals;

namespace {

struct FakeItem : MenuBarStatusItem {
    std::optional<QRect> rect;
    bool reports = true;
    std::optional<QRect> buttonScreenRect() const override { return rect; }
    bool reportsGeometry() const override { return reports; }
};

void click(QPoint at, int button = 1)
{
    const auto result = test::runProcess("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()),
                                                     "click", QString::number(button)});
    ASSERT_EQ(result.exitCode, 0) << result.standardError.toStdString();
}

// A popover with a text field and a menu button, the way Velmora's content has them.
struct PopoverFixture {
    Popover popover;
    QLineEdit* field;
    QToolButton* menuButton;
    QMenu* menu;

    PopoverFixture()
    {
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        field = new QLineEdit(content);
        menuButton = new QToolButton(content);
        menuButton->setText("Microphone");
        menuButton->setPopupMode(QToolButton::InstantPopup);
        menu = new QMenu(menuButton);
        for (int i = 0; i < 4; ++i)
            menu->addAction(QString("Device %1").arg(i));
        menuButton->setMenu(menu);
        layout->addWidget(field);
        layout->addWidget(menuButton);
        layout->addStretch(1);
        popover.setContent(content);
        popover.setContentSize({400, 300});
    }

    bool open(FakeItem& item)
    {
        EXPECT_TRUE(MenuBarPopoverController::toggle(popover, item, PopoverEdge::below, true));
        const bool active = test::waitUntil([&] { return popover.isShown() && popover.isActiveWindow(); }, 5s);
        EXPECT_TRUE(active) << "shown " << popover.isShown() << ", active window "
                            << (QApplication::activeWindow() ? QApplication::activeWindow()->metaObject()->className()
                                                             : "none");
        return active;
    }
};

TEST(PopoverPlacement, WaitsForTheItemToBeOnScreenWithOneRetryChain)
{
    PopoverFixture f;
    FakeItem item; // not on screen yet
    const bool started = MenuBarPopoverController::toggle(f.popover, item, PopoverEdge::below, false);
    EXPECT_TRUE(started) << "showing has begun even though nothing is shown yet";
    EXPECT_TRUE(MenuBarPopoverController::toggle(f.popover, item, PopoverEdge::below, false));
    auto& placement = MenuBarStatusItemPlacement::shared();
    EXPECT_EQ(placement.pendingRetryCount(), 1) << "a second toggle replaces the first chain";
    QTest::qWait(120);
    EXPECT_FALSE(f.popover.isShown());

    item.rect = QRect(1200, 2, 22, 22);
    ASSERT_TRUE(test::waitUntil([&] { return f.popover.isShown(); }, 2s));
    EXPECT_FALSE(placement.hasPendingRetry(&f.popover));
    // The window manager reports the placed frame in its own time; a loaded machine takes a while.
    ASSERT_TRUE(test::waitUntil([&] { return f.popover.geometry().top() > 24; }, 10s))
        << "at " << f.popover.geometry().top();
    EXPECT_LE(f.popover.frameGeometry().right(), 1279) << "kept on the screen";
    EXPECT_GE(f.popover.geometry().top(), 24) << "below the item";

    QSignalSpy closed(&f.popover, &Popover::didClose);
    EXPECT_FALSE(MenuBarPopoverController::toggle(f.popover, item, PopoverEdge::below, false));
    EXPECT_FALSE(f.popover.isShown());
    EXPECT_EQ(closed.count(), 1);
}

TEST(PopoverPlacement, GivesUpSilentlyOrUsesThePointerWhereTheTrayTellsNothing)
{
    PopoverFixture f;
    FakeItem never;
    MenuBarPopoverController::toggle(f.popover, never, PopoverEdge::below, false);
    ASSERT_TRUE(MenuBarStatusItemPlacement::shared().hasPendingRetry(&f.popover)) << "it keeps asking a while";
    EXPECT_TRUE(test::waitUntil([&] { return !MenuBarStatusItemPlacement::shared().hasPendingRetry(&f.popover); }, 10s))
        << "and then stops";
    EXPECT_FALSE(f.popover.isShown());

    // A StatusNotifierItem tray: no rectangle ever, so the popover opens at the pointer.
    test::runProcess("xdotool", {"mousemove", "300", "500"});
    FakeItem silent;
    silent.reports = false;
    MenuBarPopoverController::toggle(f.popover, silent, PopoverEdge::below, false);
    ASSERT_TRUE(test::waitUntil([&] { return f.popover.isShown(); }, 2s));
    ASSERT_TRUE(test::waitUntil([&] { return f.popover.geometry().contains(QPoint(300, f.popover.geometry().top() + 5)); }, 2s))
        << f.popover.geometry().x() << "," << f.popover.geometry().y();
    f.popover.performClose();
}

TEST(PopoverCloseMonitor, ClicksOutsideCloseItClicksInItsOwnWindowsAndOnTheItemDoNot)
{
    PopoverFixture f;
    FakeItem item;
    item.rect = QRect(1240, 2, 22, 22);
    auto& monitor = MenuBarPopoverCloseMonitor::shared();
    ASSERT_TRUE(f.open(item));
    EXPECT_TRUE(monitor.hasSession(&f.popover));
    const QRect frame = f.popover.frameGeometry();

    click(frame.center());
    QTest::qWait(200);
    EXPECT_TRUE(f.popover.isShown()) << "a click inside";

    click(item.rect->center());
    QTest::qWait(200);
    EXPECT_TRUE(f.popover.isShown()) << "a click on the item is the item's own business";

    // The menu is a window of its own, partly outside the popover.
    f.menu->popup(f.menuButton->mapToGlobal(QPoint(0, f.menuButton->height())));
    ASSERT_TRUE(test::waitUntil([&] { return f.menu->isVisible(); }, 2s));
    const QRect menuFrame = f.menu->frameGeometry();
    QPoint inMenu = menuFrame.center();
    for (int y = menuFrame.bottom() - 4; y > menuFrame.top(); y -= 4) {
        if (!frame.contains(QPoint(menuFrame.center().x(), y))) {
            inMenu = QPoint(menuFrame.center().x(), y);
            break;
        }
    }
    click(inMenu);
    QTest::qWait(200);
    EXPECT_TRUE(f.popover.isShown()) << "a click in the popover's menu";
    f.menu->hide();

    // The desktop: the window manager's root window, another client.
    QSignalSpy closed(&f.popover, &Popover::didClose);
    click(QPoint(100, 700));
    ASSERT_TRUE(test::waitUntil([&] { return !f.popover.isShown(); }, 2s)) << "a click on the desktop";
    EXPECT_EQ(closed.count(), 1);
    ASSERT_TRUE(test::waitUntil([&] { return !monitor.hasSession(&f.popover); }, 2s)) << "the session ends with it";
    EXPECT_TRUE(monitor.mouseClose(&f.popover).has_value());

    // A window of this process that is not the popover's counts as outside too.
    QWidget other;
    other.setGeometry(40, 60, 200, 120);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    ASSERT_TRUE(f.open(item));
    click(other.frameGeometry().center());
    EXPECT_TRUE(test::waitUntil([&] { return !f.popover.isShown(); }, 2s)) << "a click in another Velmora window";

    // Closed and shown again in one turn: the new showing keeps its session.
    ASSERT_TRUE(f.open(item));
    f.popover.performClose();
    MenuBarPopoverController::toggle(f.popover, item, PopoverEdge::below, true);
    ASSERT_TRUE(test::waitUntil([&] { return f.popover.isShown(); }, 2s));
    QTest::qWait(100);
    EXPECT_TRUE(monitor.hasSession(&f.popover));
    click(QPoint(100, 700));
    EXPECT_TRUE(test::waitUntil([&] { return !f.popover.isShown(); }, 2s)) << "still closed by a click outside";
}

TEST(PopoverCloseMonitor, EscapeClosesItUnlessADialogOrTheShortcutRecorderHasIt)
{
    PopoverFixture f;
    FakeItem item;
    item.rect = QRect(1240, 2, 22, 22);
    test::X11TestClient keyboard;
    ASSERT_TRUE(keyboard.isConnected());

    ASSERT_TRUE(f.open(item));
    f.field->setFocus();
    keyboard.tap(test::keys::escape);
    ASSERT_TRUE(test::waitUntil([&] { return !f.popover.isShown(); }, 2s)) << "Escape closes";

    // A dialog of the popover takes its own Escape.
    ASSERT_TRUE(f.open(item));
    QDialog dialog(&f.popover);
    dialog.setModal(true);
    dialog.show();
    ASSERT_TRUE(test::waitUntil([&] { return dialog.isActiveWindow(); }, 5s));
    keyboard.tap(test::keys::escape);
    ASSERT_TRUE(test::waitUntil([&] { return !dialog.isVisible(); }, 2s));
    QTest::qWait(150);
    EXPECT_TRUE(f.popover.isShown()) << "the dialog closed, not the popover";

    // While a shortcut is being recorded Escape cancels the recording only; Ctrl+Q is
    // a shortcut candidate, not the Quit command.
    int quits = 0;
    const auto commands = AppCommands::AccessoryAppCommandMenu::installQuitMenu("Velmora", false, [&] { ++quits; });
    ASSERT_TRUE(test::waitUntil([&] { return f.popover.isActiveWindow(); }, 5s));
    f.field->setFocus();
    HotKeyCore::ShortcutRecorderController recorder;
    int cancelled = 0;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> captured;
    const auto record = [&] {
        recorder.startRecording([&](std::uint32_t key, std::uint32_t modifiers) { captured = {key, modifiers}; }, {},
                                [&] { ++cancelled; });
    };
    record();
    recorder.cancelRecording();
    cancelled = 0;
    // The popover opens after the recorder's first start: its session's filter is the newer one.
    f.popover.performClose();
    ASSERT_TRUE(f.open(item));
    record();
    keyboard.tap(test::keys::escape);
    ASSERT_TRUE(test::waitUntil([&] { return cancelled == 1; }, 2s));
    EXPECT_TRUE(f.popover.isShown()) << "Escape went to the recorder";
    record();
    keyboard.chord({test::keys::control}, test::keys::q);
    ASSERT_TRUE(test::waitUntil([&] { return captured.has_value(); }, 2s));
    EXPECT_EQ(captured->first, test::keys::q);
    EXPECT_EQ(quits, 0) << "the recorder had Ctrl+Q";
    EXPECT_TRUE(f.popover.isShown());

    keyboard.chord({test::keys::control}, test::keys::q);
    EXPECT_TRUE(test::waitUntil([&] { return quits == 1; }, 2s)) << "Ctrl+Q in a Velmora window is Quit";
    f.field->setFocus();
    keyboard.tap(test::keys::q);
    EXPECT_TRUE(test::waitUntil([&] { return f.field->text() == "q"; }, 2s)) << "q alone types";
    EXPECT_EQ(quits, 1) << "and does not quit";
    f.popover.performClose();
}

} // namespace
