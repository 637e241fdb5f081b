// The choice of backends from a session's facts: every desktop Velmora meets,
// and that a facility which cannot reach Wayland windows says so.
#include "Platform/Linux/ApplicationName.h"
#include "Platform/Linux/SwayFrontmostApplication.h"
#include "Platform/Linux/WtypeKeyInjector.h"
#include "Platform/SessionBackends.h"

#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora::platform;
namespace test = velmora::test;

namespace {

const QStringList wlroots{"wl_seat", "zwlr_data_control_manager_v1", "zwp_virtual_keyboard_manager_v1"};
const QStringList wlrootsWithToplevels = wlroots + QStringList{"zwlr_foreign_toplevel_manager_v1"};
const QStringList kde{"wl_seat", "zwlr_data_control_manager_v1", "org_kde_kwin_fake_input"};
const QStringList gnome{"wl_seat", "gtk_primary_selection_device_manager"};

TEST(SessionBackends, ChoosesForEachDesktop)
{
    struct Case {
        const char* name;
        SessionFacts facts;
        SessionBackends::Kind kind;
        QString compositor, clipboard, keyInjection;
        bool keysEverywhere;
        QString frontmost;
    };
    using K = SessionBackends::Kind;
    const Case cases[] = {
        {"Xorg", {"x11", "XFCE", false, true}, K::x11, "xfce", "x11", "x11", true, "x11"},
        {"X11 said, a stray Wayland socket", {"x11", "", true, true}, K::x11, "", "x11", "x11", true, "x11"},
        {"sway", {"wayland", "sway", true, true, true, wlroots, true}, K::wayland, "sway", "wayland-data-control", "wtype",
         true, "sway-ipc"},
        {"sway without wtype", {"wayland", "sway", true, true, true, wlroots, false}, K::wayland, "sway",
         "wayland-data-control", "x11", false, "sway-ipc"},
        {"Hyprland", {"wayland", "Hyprland", true, true, false, wlrootsWithToplevels, true}, K::wayland, "hyprland",
         "wayland-data-control", "wtype", true, "wlr-foreign-toplevel"},
        {"no session type, a Wayland socket", {"", "", true, true, false, wlroots, true}, K::wayland, "",
         "wayland-data-control", "wtype", true, "x11"},
        {"KDE Plasma", {"wayland", "KDE", true, true, false, kde, true}, K::wayland, "kde", "wayland-data-control", "x11",
         false, "kwin-script"},
        {"GNOME (Ubuntu's)", {"wayland", "ubuntu:GNOME", true, true, false, gnome, true}, K::wayland, "gnome", "x11", "x11",
         false, "x11"},
        {"a text console", {"tty", "", false, false}, K::unknown, "", "none", "none", false, "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto chosen = SessionBackends::choose(c.facts);
        EXPECT_EQ(chosen.kind, c.kind);
        EXPECT_EQ(chosen.compositor, c.compositor);
        EXPECT_EQ(chosen.clipboard.name, c.clipboard);
        EXPECT_TRUE(chosen.clipboard.servesEverything() || c.clipboard == "none");
        EXPECT_EQ(chosen.keyInjection.name, c.keyInjection);
        EXPECT_EQ(chosen.keyInjection.servesEverything(), c.keysEverywhere) << chosen.keyInjection.limits.toStdString();
        EXPECT_EQ(chosen.frontmost.name, c.frontmost);
        // X11 in a Wayland session cannot tell Wayland windows apart, and says so.
        EXPECT_EQ(chosen.frontmost.servesEverything(), c.kind == K::x11 || (c.frontmost != "x11" && c.frontmost != "none"));
        // No X11 grab reaches a Wayland window: a Wayland session is always told how to bind the toggle.
        EXPECT_EQ(chosen.globalShortcut.servesEverything(), c.kind == K::x11);
        EXPECT_EQ(chosen.doubleTap.servesEverything(), c.kind == K::x11);
    }
}

TEST(SessionBackends, TheDesktopPortalTakesTheShortcutWhereItOffersIt)
{
    SessionFacts kdeFacts{"wayland", "KDE", true, true, false, kde, true};
    kdeFacts.portalGlobalShortcuts = true;
    auto chosen = SessionBackends::choose(kdeFacts);
    EXPECT_EQ(chosen.globalShortcut.name, "portal");
    EXPECT_TRUE(chosen.globalShortcut.servesEverything());
    kdeFacts.portalGlobalShortcuts = false;
    EXPECT_EQ(SessionBackends::choose(kdeFacts).globalShortcut.name, "x11");
    // Keys: the virtual keyboard where there is one, else the portal's RemoteDesktop keyboard.
    kdeFacts.portalRemoteDesktop = true;
    EXPECT_EQ(SessionBackends::choose(kdeFacts).keyInjection, (FacilityBackend{"portal", {}}));
    SessionFacts swayFacts{"wayland", "sway", true, true, true, wlroots, true};
    swayFacts.portalRemoteDesktop = true;
    EXPECT_EQ(SessionBackends::choose(swayFacts).keyInjection.name, "wtype");
    // Neither: a keyboard of Velmora's own through /dev/uinput, where the user may write it.
    SessionFacts bare{"wayland", "weston", true, true, false, {"wl_seat"}, false};
    EXPECT_EQ(SessionBackends::choose(bare).keyInjection.name, "x11");
    EXPECT_FALSE(SessionBackends::choose(bare).keyInjection.servesEverything());
    bare.uinputWritable = true;
    EXPECT_EQ(SessionBackends::choose(bare).keyInjection, (FacilityBackend{"uinput", {}}));
    // An X11 session keeps its own grab even where a portal runs.
    const SessionFacts xorg{"x11", "KDE", false, true, false, {}, false, false, false, true};
    EXPECT_EQ(SessionBackends::choose(xorg).globalShortcut.name, "x11");
}

TEST(SessionBackends, SaysWhatIsMissingInTheUsersTerms)
{
    SessionFacts sway{"wayland", "sway", true, true, true, wlroots, false};
    auto chosen = SessionBackends::choose(sway);
    EXPECT_TRUE(chosen.globalShortcut.limits.contains("bindsym ctrl+space exec velmora --toggle"));
    EXPECT_EQ(chosen.doubleTap.limits, "needs read access to the keyboard devices: add yourself to the input group");
    EXPECT_TRUE(chosen.keyInjection.limits.contains("sudo apt install wtype"));
    EXPECT_EQ(chosen.insertLimits(), chosen.keyInjection.limits) << "keys that cannot arrive matter first";
    sway.keyboardDevicesReadable = true;
    EXPECT_EQ(SessionBackends::choose(sway).doubleTap, (FacilityBackend{"evdev", {}})) << "the keyboards see every key";

    const SessionFacts gnomeFacts{"wayland", "GNOME", true, true, false, gnome, true};
    chosen = SessionBackends::choose(gnomeFacts);
    EXPECT_TRUE(chosen.globalShortcut.limits.contains("Settings, Keyboard"));
    EXPECT_TRUE(chosen.keyInjection.limits.contains("the text is only copied"));
    SessionFacts gnomeWithPortal = gnomeFacts;
    gnomeWithPortal.portalRemoteDesktop = true;
    EXPECT_TRUE(SessionBackends::choose(gnomeWithPortal).insertLimits().contains("in terminals too"))
        << "keys arrive, but the window in front is not known";
    EXPECT_EQ(SessionBackends::choose({"wayland", "sway", true, true, true, wlroots, true}).insertLimits(), "");
    EXPECT_EQ(chosen.describe().split('\n').first(), "session=wayland");
    EXPECT_TRUE(chosen.describe().contains("\nfrontmostBackend=x11 (This desktop does not tell Velmora which Wayland window"));
    EXPECT_TRUE(chosen.describe().contains("\nclipboardBackend=x11\n"));
}

// sway's tree: the focused window, Wayland or XWayland; a focused empty workspace is no window.
TEST(SwayFrontmostApplication, FindsTheFocusedWindowInTheTree)
{
    QTemporaryDir data;
    QDir().mkpath(data.path() + "/applications");
    test::writeFile(data.path() + "/applications/foot.desktop", "[Desktop Entry]\nName=Foot\n");
    qputenv("XDG_DATA_DIRS", data.path().toLocal8Bit());
    const auto tree = [](const QString& focused) {
        return QString(R"({"type": "root", "focused": false, "nodes": [{"type": "output", "focused": false, "nodes": [
            {"type": "workspace", "id": 3, "focused": %1, "nodes": [
              {"type": "con", "id": 7, "focused": %2, "pid": 4242, "name": "~/notes.txt", "app_id": "foot", "nodes": []}],
             "floating_nodes": [
              {"type": "floating_con", "id": 9, "focused": %3, "pid": 77, "name": "Terminal", "app_id": null,
               "window_properties": {"class": "XTerm", "instance": "xterm"}, "nodes": []}]}]}]})")
            .arg(focused == "workspace" ? "true" : "false", focused == "foot" ? "true" : "false",
                 focused == "xterm" ? "true" : "false")
            .toUtf8();
    };
    const auto foot = SwayFrontmostApplication::focusedIn(tree("foot"));
    ASSERT_TRUE(foot.has_value());
    EXPECT_EQ(foot->window, 7u);
    EXPECT_EQ(foot->processId, 4242);
    EXPECT_EQ(foot->name, "Foot") << "the application's name, never the window's title";
    EXPECT_EQ(foot->identifier, "foot");
    const auto xterm = SwayFrontmostApplication::focusedIn(tree("xterm"));
    ASSERT_TRUE(xterm.has_value());
    EXPECT_EQ(xterm->identifier, "XTerm");
    EXPECT_EQ(xterm->instance, "xterm");
    EXPECT_EQ(xterm->name, "XTerm") << "without an entry, the identifier";
    EXPECT_EQ(SwayFrontmostApplication::focusedIn(tree("workspace")), std::nullopt);
    EXPECT_EQ(SwayFrontmostApplication::focusedIn("not json"), std::nullopt);
}

// What the activation log may call an application: its desktop entry's own Name.
TEST(ApplicationName, TheEntrysNameAndNothingElse)
{
    struct Case {
        const char* name;
        QByteArray entry;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"plain", "[Desktop Entry]\nType=Application\nName=Text Editor\nExec=edit %F\n", "Text Editor"},
        {"translations and GenericName first", "[Desktop Entry]\nGenericName=Editor\nName[de]=Texteditor\nName = Gedit \n",
         "Gedit"},
        {"an action's Name is not the application's",
         "[Desktop Action new]\nName=New Window\n[Desktop Entry]\nName=Browser\n", "Browser"},
        {"no Name", "[Desktop Entry]\nExec=x\n", std::nullopt},
        {"not an entry", "Name=Loose\n", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ApplicationName::nameInDesktopEntry(c.entry), c.expected) << c.name;

    // Looked up by the identifier as written, then in lower case; a personal entry comes first.
    QTemporaryDir home, system;
    QDir().mkpath(home.path() + "/applications");
    QDir().mkpath(system.path() + "/applications");
    test::writeFile(system.path() + "/applications/mousepad.desktop", "[Desktop Entry]\nName=Mousepad\n");
    test::writeFile(system.path() + "/applications/org.example.Notes.desktop", "[Desktop Entry]\nName=System Notes\n");
    test::writeFile(home.path() + "/applications/org.example.Notes.desktop", "[Desktop Entry]\nName=My Notes\n");
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_DIRS", ("relative:" + system.path()).toLocal8Bit());
    EXPECT_EQ(ApplicationName::of("Mousepad"), "Mousepad");
    EXPECT_EQ(ApplicationName::of("org.example.Notes"), "My Notes");
    EXPECT_EQ(ApplicationName::of("org.example.Unknown"), "org.example.Unknown");
    EXPECT_EQ(ApplicationName::of("../../etc/passwd"), "../../etc/passwd") << "no path is followed";
}

// wtype's words for each chord: modifiers down, the key, modifiers up in reverse.
TEST(WtypeKeyInjector, SpellsEachChordForWtype)
{
    EXPECT_EQ(WtypeKeyInjector::argumentsFor(PasteChord::controlV), (QStringList{"-M", "ctrl", "-k", "v", "-m", "ctrl"}));
    EXPECT_EQ(WtypeKeyInjector::argumentsFor(PasteChord::controlShiftV),
              (QStringList{"-M", "ctrl", "-M", "shift", "-k", "v", "-m", "shift", "-m", "ctrl"}));
    EXPECT_EQ(WtypeKeyInjector::argumentsFor(PasteChord::shiftInsert),
              (QStringList{"-M", "shift", "-k", "Insert", "-m", "shift"}));
}

} // namespace
