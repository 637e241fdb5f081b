// Velmora's Wayland backends against a real compositor: the rig's headless
// sway, with clients that speak Wayland natively (wl-clipboard, a Qt window
// on the wayland platform) and a program that stops answering.
#include "Platform/Linux/SessionProbe.h"
#include "Platform/Linux/SwayFrontmostApplication.h"
#include "Platform/Linux/WaylandDataControl.h"
#include "Platform/Linux/WaylandDataControlConnection.h"
#include "Platform/Linux/WaylandSelectionOwner.h"
#include "Platform/Linux/WaylandSelectionReader.h"
#include "Platform/Linux/WlrForeignToplevelFrontmostApplication.h"
#include "Platform/Linux/X11FrontmostApplication.h"
#include "Platform/Linux/WtypeKeyInjector.h"
#include "Platform/SessionBackends.h"

#include "SwayRig.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

#include <wayland-client.h>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::platform;
using namespace std::chrono_literals;

namespace {

}

namespace velmora::platform {
void PrintTo(const SelectionFormat& format, std::ostream* out)
{
    *out << format.name.toStdString() << ": " << format.data.left(40).toStdString() << " (" << format.data.size() << " bytes)";
}
}

namespace {

// Run while this thread's event loop turns: the owner under test answers on it.
QByteArray wlPaste(const QStringList& arguments)
{
    QProcess paste;
    paste.start("wl-paste", arguments);
    if (!paste.waitForStarted(5000) || !test::waitUntil([&] { return paste.state() == QProcess::NotRunning; }, 10s)) {
        paste.kill();
        paste.waitForFinished(1000);
        return "(wl-paste did not finish)";
    }
    return paste.readAllStandardOutput();
}

std::variant<std::vector<SelectionFormat>, SelectionReadError> readAside(Selection selection,
                                                                         SelectionReader::Limits limits = {})
{
    std::variant<std::vector<SelectionFormat>, SelectionReadError> result;
    std::atomic<bool> done = false;
    std::thread reader([&] {
        result = WaylandSelectionReader().read(selection, limits);
        done = true;
    });
    test::waitUntil([&] { return done.load(); }, 30s);
    reader.join();
    return result;
}

std::vector<SelectionFormat> read(Selection selection)
{
    auto result = readAside(selection);
    EXPECT_TRUE(std::holds_alternative<std::vector<SelectionFormat>>(result));
    return std::holds_alternative<std::vector<SelectionFormat>>(result) ? std::get<0>(result) : std::vector<SelectionFormat>{};
}

// The app_id of the window sway has focused.

TEST(WaylandSession, TheProbeSeesTheCompositorAndItsProtocols)
{
    const SessionFacts facts = probeSession();
    EXPECT_EQ(facts.sessionType, "wayland");
    EXPECT_TRUE(facts.hasWaylandDisplay);
    EXPECT_TRUE(facts.hasX11Display) << "XWayland";
    EXPECT_TRUE(facts.waylandGlobals.contains("zwlr_data_control_manager_v1")) << facts.waylandGlobals.join(' ').toStdString();
    EXPECT_TRUE(facts.waylandGlobals.contains("zwp_virtual_keyboard_manager_v1"));
    EXPECT_TRUE(facts.wtypeInstalled);
    const auto chosen = SessionBackends::choose(facts);
    EXPECT_EQ(chosen.compositor, "sway");
    EXPECT_EQ(chosen.clipboard.name, "wayland-data-control");
    EXPECT_EQ(chosen.keyInjection.name, "wtype");

    const auto dump = test::runProcess(test::velmoraExecutable(), {"--dump-runtime"});
    EXPECT_EQ(dump.exitCode, 0);
    for (const char* line : {"\nsession=wayland\n", "\ncompositor=sway\n", "\nclipboardBackend=wayland-data-control\n",
                             "\nkeyInjectionBackend=wtype\n", "\nglobalShortcutBackend=x11 (On Wayland",
                             "\nfrontmostBackend=sway-ipc"})
        EXPECT_TRUE(dump.standardOutput.contains(line)) << line << "\n" << dump.standardOutput.toStdString();
}

// Every format a program put on the clipboard comes back byte for byte, the
// password-manager hint included, and changes made elsewhere are told once.
TEST(WaylandSession, OwnsAndReadsEveryFormatOfBothSelections)
{
    QByteArray png(3000, '\0');
    for (int i = 0; i < png.size(); ++i)
        png[i] = char(i * 7);
    const std::vector<SelectionFormat> formats{
        {"text/plain;charset=utf-8", "the user's text — ünïcode"},
        {"text/html", "<b>the user's</b> text"},
        {"image/png", png},
        {"x-kde-passwordManagerHint", "secret"},
    };
    WaylandSelectionOwner owner;
    ASSERT_TRUE(owner.isAvailable());
    QList<Selection> elsewhere;
    QObject::connect(&owner, &SelectionOwner::changedElsewhere, [&](Selection s) { elsewhere.append(s); });

    owner.own(Selection::clipboard, formats);
    QStringList types;
    ASSERT_TRUE(test::waitUntil([&] {
        types = QString::fromUtf8(wlPaste({"--list-types"})).split('\n', Qt::SkipEmptyParts);
        return types.size() == 4;
    }, 5s)) << types.join(' ').toStdString();
    EXPECT_EQ(types, (QStringList{"text/plain;charset=utf-8", "text/html", "image/png", "x-kde-passwordManagerHint"}));
    EXPECT_EQ(wlPaste({"--no-newline", "--type", "image/png"}), png) << "another program gets the bytes";
    EXPECT_EQ(read(Selection::clipboard), formats) << "and so does the reader";

    owner.own(Selection::primary, {{"text/plain", "primary text"}});
    ASSERT_TRUE(test::waitUntil([&] { return wlPaste({"--primary", "--no-newline"}) == "primary text"; }, 5s));
    EXPECT_EQ(read(Selection::primary), (std::vector<SelectionFormat>{{"text/plain", "primary text"}}));
    QTest::qWait(300);
    EXPECT_TRUE(elsewhere.isEmpty()) << "our own changes are not news";

    // Another program copies: the owner hears it once, and the reader sees it.
    ASSERT_EQ(test::runProcess("sh", {"-c", "printf 'copied elsewhere' | wl-copy --type text/plain"}).exitCode, 0)
        << "wl-copy serves from a process of its own";
    ASSERT_TRUE(test::waitUntil([&] { return elsewhere.size() == 1; }, 5s));
    EXPECT_EQ(elsewhere.first(), Selection::clipboard);
    const auto now = read(Selection::clipboard);
    ASSERT_FALSE(now.empty());
    EXPECT_EQ(now.front().data, "copied elsewhere");

    // Cleared by us: empty for everyone, and still not news.
    owner.own(Selection::clipboard, {});
    ASSERT_TRUE(test::waitUntil([&] { return read(Selection::clipboard).empty(); }, 5s));
    QTest::qWait(300);
    EXPECT_EQ(elsewhere.size(), 1);
    test::runProcess("wl-copy", {"--clear"});
}

// Velmora quitting does not take the user's clipboard with it: wl-copy serves its text on,
// and a copy made elsewhere in the meantime is left alone.
TEST(WaylandSession, TheClipboardOutlivesItsOwner)
{
    {
        WaylandSelectionOwner owner;
        owner.own(Selection::clipboard, {{"text/html", "<b>kept</b>"}, {"text/plain;charset=utf-8", "kept — ünïcode"}});
        ASSERT_TRUE(test::waitUntil([&] { return wlPaste({"--no-newline", "--type", "text/html"}) == "<b>kept</b>"; }, 5s));
    }
    EXPECT_TRUE(test::waitUntil([&] { return wlPaste({"--no-newline"}) == "kept — ünïcode"; }, 5s))
        << wlPaste({"--no-newline"}).toStdString();

    {
        WaylandSelectionOwner owner;
        owner.own(Selection::clipboard, {{"text/plain", "Velmora's"}});
        ASSERT_TRUE(test::waitUntil([&] { return wlPaste({"--no-newline"}) == "Velmora's"; }, 5s));
        ASSERT_EQ(test::runProcess("sh", {"-c", "printf 'the user copied this' | wl-copy"}).exitCode, 0);
        // Gone before it has heard of the new copy: it must not put its own back.
    }
    QTest::qWait(500);
    EXPECT_EQ(wlPaste({"--no-newline"}), "the user copied this");
    test::runProcess("wl-copy", {"--clear"});
}

// A password manager's entry put back after a paste (or a paste's own text) is not handed on
// when Velmora quits: wl-copy would serve it without its marker, and histories would keep it.
TEST(WaylandSession, MarkedContentsGoWithTheirOwner)
{
    for (const char* marker : {"x-kde-passwordManagerHint", "application/x-copyq-hidden"}) {
        {
            WaylandSelectionOwner owner;
            owner.own(Selection::clipboard, {{"text/plain;charset=utf-8", "hunter2"}, {marker, "secret"}});
            ASSERT_TRUE(test::waitUntil([&] { return wlPaste({"--no-newline"}) == "hunter2"; }, 5s)) << marker;
        }
        QTest::qWait(300);
        EXPECT_NE(wlPaste({"--no-newline"}), "hunter2") << marker << ": handed on without its marker";
    }
    test::runProcess("wl-copy", {"--clear"});
}

// A program that owns the clipboard and never answers cannot hold the reader up.
TEST(WaylandSession, AFrozenOwnerTimesOutAndTooMuchIsRefused)
{
    auto frozen = WaylandDataControlConnection::open();
    ASSERT_TRUE(frozen);
    wl_proxy* source = dataControl::createDataSource(frozen->manager());
    std::vector<int> held; // taken and never written to or closed
    static const dataControl::SourceListener keep{
        [](void* data, wl_proxy*, const char*, int32_t fd) { static_cast<std::vector<int>*>(data)->push_back(fd); },
        [](void*, wl_proxy*) {},
    };
    wl_proxy_add_listener(source, reinterpret_cast<void (**)(void)>(const_cast<dataControl::SourceListener*>(&keep)), &held);
    dataControl::offerType(source, "text/plain");
    dataControl::setSelection(frozen->device(), source);
    wl_display_flush(frozen->display());
    QSocketNotifier notifier(wl_display_get_fd(frozen->display()), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] { frozen->dispatchPending(); });
    ASSERT_TRUE(test::waitUntil([&] { return wlPaste({"--list-types"}).trimmed() == "text/plain"; }, 5s))
        << "the frozen program owns the clipboard";

    auto result = readAside(Selection::clipboard, {300ms, 1024});
    ASSERT_TRUE(std::holds_alternative<SelectionReadError>(result));
    EXPECT_EQ(std::get<SelectionReadError>(result), SelectionReadError::timedOut);
    for (int fd : held)
        ::close(fd);
    dataControl::destroySource(source);

    WaylandSelectionOwner owner;
    owner.own(Selection::clipboard, {{"text/plain", QByteArray(4096, 'x')}});
    ASSERT_TRUE(test::waitUntil([&] { return wlPaste({"--no-newline"}).size() == 4096; }, 5s));
    result = readAside(Selection::clipboard, {2s, 1024});
    ASSERT_TRUE(std::holds_alternative<SelectionReadError>(result));
    EXPECT_EQ(std::get<SelectionReadError>(result), SelectionReadError::tooLarge);
}

// The paste keys reach a native Wayland window through the virtual keyboard.
TEST(WaylandSession, PasteKeysReachANativeWaylandWindow)
{
    QTemporaryDir dir;
    const QString typed = dir.path() + "/typed";
    WaylandSelectionOwner owner;
    owner.own(Selection::clipboard, {{"text/plain;charset=utf-8", "Pasted on Wayland"}, {"text/plain", "Pasted on Wayland"}});

    QProcess target;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "wayland");
    target.setProcessEnvironment(environment);
    target.start(VELMORA_PASTE_TARGET, {"window", typed});
    ASSERT_TRUE(target.waitForStarted(5000));
    ASSERT_TRUE(test::waitUntil([&] { return target.readAllStandardOutput().contains("shown"); }, 10s))
        << target.readAllStandardError().toStdString();
    // sway focuses the new window; give it the moment to say so.
    ASSERT_TRUE(test::waitUntil([&] { return test::swayFocusedAppId() == "PasteTarget"; }, 5s)) << test::swayFocusedAppId().toStdString();
    const auto front = SwayFrontmostApplication(qEnvironmentVariable("SWAYSOCK")).current();
    ASSERT_TRUE(front.has_value()) << "sway tells which window is in front";
    EXPECT_EQ(front->identifier, "PasteTarget");
    EXPECT_EQ(front->processId, target.processId());
    EXPECT_EQ(SwayFrontmostApplication("/nonexistent/sway.sock").current(), std::nullopt);

    WtypeKeyInjector injector;
    EXPECT_TRUE(injector.canPost());
    EXPECT_EQ(injector.paste(PasteChord::controlV, 1s), std::nullopt);
    EXPECT_TRUE(test::waitUntil([&] { return test::readFile(typed) == "Pasted on Wayland"; }, 5s))
        << test::readFile(typed).toStdString();

    WtypeKeyInjector missing("/nonexistent/wtype");
    EXPECT_EQ(missing.paste(PasteChord::controlV, 1s), KeyInjectionError::unavailable);
    target.kill();
    target.waitForFinished(5000);
}

} // namespace

namespace {

// A PasteTarget window on the given Qt platform, shown and focused by sway.
struct TargetWindow {
    QTemporaryDir dir;
    QProcess process;

    explicit TargetWindow(const char* platform)
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", platform);
        process.setProcessEnvironment(environment);
        process.start(VELMORA_PASTE_TARGET, {"window", dir.path() + "/typed"});
    }
    bool shown()
    {
        return process.waitForStarted(5000)
            && test::waitUntil([&] { return process.readAllStandardOutput().contains("shown"); }, 10s);
    }
    ~TargetWindow()
    {
        process.kill();
        process.waitForFinished(5000);
    }
};

} // namespace

// Compositors other than sway tell the window in front through foreign-toplevel;
// X11 on Wayland sees only XWayland windows and must not mistake a Wayland one for none.
TEST(WaylandSession, TheWindowInFrontAsTheCompositorTellsIt)
{
    auto toplevels = WlrForeignToplevelFrontmostApplication::open();
    ASSERT_NE(toplevels, nullptr) << "sway offers zwlr_foreign_toplevel_manager_v1";
    X11FrontmostApplication x11(true);

    auto native = std::make_unique<TargetWindow>("wayland");
    ASSERT_TRUE(native->shown()) << native->process.readAllStandardError().toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return test::swayFocusedAppId() == "PasteTarget"; }, 5s));
    std::optional<FrontmostApplication> front;
    ASSERT_TRUE(test::waitUntil([&] { return (front = toplevels->current()).has_value(); }, 5s));
    EXPECT_EQ(front->identifier, "PasteTarget");
    EXPECT_EQ(front->processId, std::nullopt) << "the protocol names no process";
    EXPECT_NE(front->window, 0u);
    const std::uint32_t nativeWindow = front->window;
    EXPECT_EQ(x11.current(), FrontmostApplication{FrontmostApplication::unseenWaylandWindow})
        << "a Wayland window in front is still a window";
    EXPECT_EQ(X11FrontmostApplication().current(), std::nullopt) << "in an X11 session no active window is none";

    TargetWindow xwayland("xcb");
    ASSERT_TRUE(xwayland.shown()) << xwayland.process.readAllStandardError().toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return toplevels->current() && toplevels->current()->window != nativeWindow; }, 5s));
    const std::uint32_t xwaylandWindow = toplevels->current()->window;
    ASSERT_TRUE(test::waitUntil([&] { return x11.current() && x11.current()->processId == xwayland.process.processId(); }, 5s));
    EXPECT_EQ(x11.current()->identifier, "PasteTarget");

    // Back to the first: it keeps its number, so a switch during a dictation is seen for what it is.
    test::runProcess("swaymsg", {QString("[pid=%1] focus").arg(native->process.processId())});
    ASSERT_TRUE(test::waitUntil([&] { return toplevels->current() && toplevels->current()->window == nativeWindow; }, 5s))
        << (toplevels->current() ? toplevels->current()->window : 0);
    EXPECT_TRUE(test::waitUntil([&] { return x11.current() == FrontmostApplication{FrontmostApplication::unseenWaylandWindow}; }, 5s));

    // A closed window is forgotten; the one sway focuses next is in front.
    native.reset();
    EXPECT_TRUE(test::waitUntil([&] { return toplevels->current() && toplevels->current()->window == xwaylandWindow; }, 5s));
}
