#pragma once

#include <QString>
#include <QStringList>

namespace velmora::platform {

// What the session offers, as read at start-up; the backends are chosen from these alone.
struct SessionFacts {
    QString sessionType;    // XDG_SESSION_TYPE: "x11", "wayland", "tty", or empty
    QString currentDesktop; // XDG_CURRENT_DESKTOP, as set ("sway", "KDE", "ubuntu:GNOME", ...)
    bool hasWaylandDisplay = false;
    bool hasX11Display = false;
    bool swayIpc = false;        // SWAYSOCK: a sway (or compatible) compositor
    QStringList waylandGlobals;  // the interfaces the compositor offers
    bool wtypeInstalled = false; // Debian's wtype, for the virtual keyboard
    bool uinputWritable = false;
    bool keyboardDevicesReadable = false; // some /dev/input/event* that is a keyboard
    bool portalGlobalShortcuts = false;   // the desktop portal offers GlobalShortcuts
    bool portalRemoteDesktop = false;     // ... and RemoteDesktop (a keyboard for synthetic keys)

    bool operator==(const SessionFacts&) const = default;
};

} // namespace velmora::platform
