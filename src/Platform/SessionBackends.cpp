#include "SessionBackends.h"

namespace velmora::platform {
namespace {

// Where no global-shortcut service reaches Wayland windows, the desktop's own shortcut runs `velmora --toggle`.
QString toggleHint(const QString& compositor)
{
    const QString prefix = QStringLiteral("On Wayland the hot key reaches Velmora only while an X11 window is in front: ");
    if (compositor == QLatin1String("sway"))
        return prefix + QStringLiteral("add \"bindsym ctrl+space exec velmora --toggle\" to ~/.config/sway/config");
    if (compositor == QLatin1String("gnome"))
        return prefix + QStringLiteral("add a custom shortcut running \"velmora --toggle\" in Settings, Keyboard");
    if (compositor == QLatin1String("kde"))
        return prefix + QStringLiteral("add a shortcut running \"velmora --toggle\" in System Settings, Shortcuts");
    return prefix + QStringLiteral("bind \"velmora --toggle\" to Ctrl+Space in your desktop's keyboard shortcuts");
}

QString compositorOf(const SessionFacts& facts)
{
    if (facts.swayIpc)
        return QStringLiteral("sway");
    // XDG_CURRENT_DESKTOP is a colon-separated list, most specific first ("ubuntu:GNOME").
    for (const QString& part : facts.currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString name = part.toLower();
        if (name == QLatin1String("kde") || name == QLatin1String("gnome") || name == QLatin1String("sway")
            || name == QLatin1String("hyprland") || name == QLatin1String("wayfire") || name == QLatin1String("river"))
            return name;
    }
    return facts.currentDesktop.section(QLatin1Char(':'), 0, 0).toLower();
}

bool isWayland(const SessionFacts& facts)
{
    if (facts.sessionType == QLatin1String("wayland"))
        return true;
    if (facts.sessionType == QLatin1String("x11"))
        return false;
    return facts.hasWaylandDisplay; // no word from the login manager: the socket decides
}

bool offers(const SessionFacts& facts, std::initializer_list<const char*> interfaces)
{
    for (const char* interface : interfaces)
        if (facts.waylandGlobals.contains(QLatin1String(interface)))
            return true;
    return false;
}

} // namespace

SessionBackends SessionBackends::choose(const SessionFacts& facts)
{
    SessionBackends chosen;
    chosen.compositor = compositorOf(facts);
    const FacilityBackend x11{QStringLiteral("x11"), {}};
    if (!isWayland(facts)) {
        chosen.kind = facts.hasX11Display ? Kind::x11 : Kind::unknown;
        const FacilityBackend none{QStringLiteral("none"), QStringLiteral("no X display")};
        const FacilityBackend each = facts.hasX11Display ? x11 : none;
        chosen.globalShortcut = chosen.doubleTap = chosen.clipboard = chosen.keyInjection = chosen.frontmost = each;
        return chosen;
    }
    chosen.kind = Kind::wayland;
    if (facts.portalGlobalShortcuts)
        chosen.globalShortcut = {QStringLiteral("portal"), {}};
    else
        chosen.globalShortcut = {QStringLiteral("x11"), toggleHint(chosen.compositor)};
    // The keyboards themselves see every key, whichever window is in front.
    if (facts.keyboardDevicesReadable)
        chosen.doubleTap = {QStringLiteral("evdev"), {}};
    else
        chosen.doubleTap = {QStringLiteral("x11"),
                            QStringLiteral("needs read access to the keyboard devices: add yourself to the input group")};
    // Data control reads and owns the clipboard of the whole session; without it
    // (GNOME) XWayland's bridge carries the clipboard between X11 and Wayland.
    if (offers(facts, {"zwlr_data_control_manager_v1", "ext_data_control_manager_v1"}))
        chosen.clipboard = {QStringLiteral("wayland-data-control"), {}};
    else
        chosen.clipboard = {QStringLiteral("x11"), {}};
    // XTest through XWayland still reaches X11 windows; Wayland windows need the virtual keyboard.
    if (offers(facts, {"zwp_virtual_keyboard_manager_v1"}) && facts.wtypeInstalled)
        chosen.keyInjection = {QStringLiteral("wtype"), {}};
    else if (facts.portalRemoteDesktop)
        chosen.keyInjection = {QStringLiteral("portal"), {}}; // the desktop asks the user first
    else if (facts.uinputWritable)
        chosen.keyInjection = {QStringLiteral("uinput"), {}};
    else if (offers(facts, {"zwp_virtual_keyboard_manager_v1"}))
        chosen.keyInjection = {QStringLiteral("x11"),
                               QStringLiteral("Inserting into Wayland windows needs the wtype program (sudo apt install wtype); "
                                              "there the text is only copied")};
    else
        chosen.keyInjection = {QStringLiteral("x11"),
                               QStringLiteral("This desktop does not let Velmora send keys to Wayland windows; "
                                              "there the text is only copied")};
    // X11 sees an XWayland window in front, and nothing at all when a Wayland one is.
    if (facts.swayIpc)
        chosen.frontmost = {QStringLiteral("sway-ipc"), {}};
    else if (offers(facts, {"zwlr_foreign_toplevel_manager_v1"}))
        chosen.frontmost = {QStringLiteral("wlr-foreign-toplevel"), {}};
    else if (chosen.compositor == QLatin1String("kde"))
        chosen.frontmost = {QStringLiteral("kwin-script"), {}}; // a script of ours inside KWin tells it
    else
        chosen.frontmost = {QStringLiteral("x11"),
                            QStringLiteral("This desktop does not tell Velmora which Wayland window is in front: "
                                           "there it pastes with Ctrl+V, in terminals too, and cannot notice "
                                           "a switch from one Wayland window to another during a dictation")};
    return chosen;
}

QString SessionBackends::insertLimits() const
{
    return keyInjection.limits.isEmpty() ? frontmost.limits : keyInjection.limits;
}

QString SessionBackends::describe() const
{
    const auto line = [](const char* key, const FacilityBackend& backend) {
        return QLatin1String(key) + QLatin1Char('=') + backend.name
               + (backend.limits.isEmpty() ? QString() : QStringLiteral(" (") + backend.limits + QLatin1Char(')'));
    };
    const char* kinds[] = {"x11", "wayland", "unknown"};
    return QStringList{
        QStringLiteral("session=") + QLatin1String(kinds[int(kind)]),
        QStringLiteral("compositor=") + (compositor.isEmpty() ? QStringLiteral("unknown") : compositor),
        line("globalShortcutBackend", globalShortcut),
        line("doubleTapBackend", doubleTap),
        line("clipboardBackend", clipboard),
        line("keyInjectionBackend", keyInjection),
        line("frontmostBackend", frontmost),
    }
        .join(QLatin1Char('\n'));
}

} // namespace velmora::platform
