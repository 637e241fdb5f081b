// The choice of backends from a session's facts: every desktop Velmora meets,
// and that a facility which cannot reach Wayland windows says so.
#include "Platform/SessionBackends.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace velmora::platform;

namespace {

const QStringList wlroots{"wl_seat", "zwlr_data_control_manager_v1", "zwp_virtual_keyboard_manager_v1"};
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
    };
    using K = SessionBackends::Kind;
    const Case cases[] = {
        {"Xorg", {"x11", "XFCE", false, true}, K::x11, "xfce", "x11", "x11", true},
        {"X11 said, a stray Wayland socket", {"x11", "", true, true}, K::x11, "", "x11", "x11", true},
        {"sway", {"wayland", "sway", true, true, true, wlroots, true}, K::wayland, "sway", "wayland-data-control", "wtype", true},
        {"sway without wtype", {"wayland", "sway", true, true, true, wlroots, false}, K::wayland, "sway",
         "wayland-data-control", "x11", false},
        {"no session type, a Wayland socket", {"", "", true, true, false, wlroots, true}, K::wayland, "",
         "wayland-data-control", "wtype", true},
        {"KDE Plasma", {"wayland", "KDE", true, true, false, kde, true}, K::wayland, "kde", "wayland-data-control", "x11", false},
        {"GNOME (Ubuntu's)", {"wayland", "ubuntu:GNOME", true, true, false, gnome, true}, K::wayland, "gnome", "x11", "x11", false},
        {"a text console", {"tty", "", false, false}, K::unknown, "", "none", "none", false},
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
        // No X11 grab reaches a Wayland window: a Wayland session is always told how to bind the toggle.
        EXPECT_EQ(chosen.globalShortcut.servesEverything(), c.kind == K::x11);
        EXPECT_EQ(chosen.doubleTap.servesEverything(), c.kind == K::x11);
    }
}

TEST(SessionBackends, SaysWhatIsMissingInTheUsersTerms)
{
    SessionFacts sway{"wayland", "sway", true, true, true, wlroots, false};
    auto chosen = SessionBackends::choose(sway);
    EXPECT_TRUE(chosen.globalShortcut.limits.contains("bindsym ctrl+space exec velmora --toggle"));
    EXPECT_EQ(chosen.doubleTap.limits, "needs read access to the keyboard devices: add yourself to the input group");
    EXPECT_TRUE(chosen.keyInjection.limits.contains("sudo apt install wtype"));
    sway.keyboardDevicesReadable = true;
    EXPECT_NE(SessionBackends::choose(sway).doubleTap.limits,
              "needs read access to the keyboard devices: add yourself to the input group");

    const SessionFacts gnomeFacts{"wayland", "GNOME", true, true, false, gnome, true};
    chosen = SessionBackends::choose(gnomeFacts);
    EXPECT_TRUE(chosen.globalShortcut.limits.contains("Settings, Keyboard"));
    EXPECT_TRUE(chosen.keyInjection.limits.contains("the text is only copied"));
    EXPECT_EQ(chosen.describe().split('\n').first(), "session=wayland");
    EXPECT_TRUE(chosen.describe().contains("\nclipboardBackend=x11\n"));
}

} // namespace
