#pragma once

#include "Platform/FrontmostApplicationSource.h"

#include <QHash>

#include <memory>

class QSocketNotifier;
struct wl_display;
struct wl_proxy;
struct wl_registry;

namespace velmora::platform {

// The active window as wlroots compositors (Hyprland, Wayfire, river, labwc,
// sway, ...) tell it to any client through the foreign-toplevel protocol.
// Followed on the main thread as the compositor announces each change, so
// asking costs no round trip; a window keeps its number while it is open.
// The protocol names no process: `processId` stays empty.
class WlrForeignToplevelFrontmostApplication final : public FrontmostApplicationSource {
public:
    // Nothing without a compositor that offers the protocol.
    static std::unique_ptr<WlrForeignToplevelFrontmostApplication> open();
    ~WlrForeignToplevelFrontmostApplication() override;

    std::optional<FrontmostApplication> current() override;

private:
    struct Toplevel {
        FrontmostApplication shown;   // as of the last `done`
        FrontmostApplication pending; // what the events since then said
        bool activated = false, pendingActivated = false;
    };

    WlrForeignToplevelFrontmostApplication() = default;
    void readEvents();
    void disconnect();

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_proxy* m_manager = nullptr;
    QHash<wl_proxy*, Toplevel> m_toplevels;
    std::uint32_t m_lastWindow = 0;
    bool m_finished = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace velmora::platform
