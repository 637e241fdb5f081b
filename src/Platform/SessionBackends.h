#pragma once

#include "SessionFacts.h"

namespace velmora::platform {

// Which backend serves one facility in this session, and when it cannot serve
// the whole session, what the user is told instead of a silent failure.
struct FacilityBackend {
    QString name;    // "x11", "wayland-data-control", "wtype", "none", ...
    QString limits;  // empty when it serves every application of the session

    bool servesEverything() const { return limits.isEmpty(); }
    bool operator==(const FacilityBackend&) const = default;
};

// The one choice of backends for the session, made from its facts without I/O.
// Velmora's own windows are X11 clients (XWayland on Wayland), so the X11
// backends keep serving X11 applications; these choices are about the rest.
struct SessionBackends {
    enum class Kind { x11, wayland, unknown };
    Kind kind = Kind::unknown;
    QString compositor; // "sway", "kde", "gnome", ... or empty
    FacilityBackend globalShortcut, doubleTap, clipboard, keyInjection;
    FacilityBackend frontmost; // which window is in front, for the paste keys and the switch check

    static SessionBackends choose(const SessionFacts& facts);
    // What the user is told of inserting into the window in front: keys that
    // cannot reach Wayland windows matter first, windows that cannot be told apart next.
    QString insertLimits() const;
    // key=value lines for --dump-runtime and the start-up log.
    QString describe() const;
};

} // namespace velmora::platform
