#pragma once

#include "Platform/FrontmostApplicationSource.h"

#include <memory>

namespace velmora::platform {

class X11Connection;

// _NET_ACTIVE_WINDOW of the root window, and that window's _NET_WM_PID and
// WM_CLASS: a few round trips to the local server. The title is never read.
class X11FrontmostApplication final : public FrontmostApplicationSource {
public:
    // In a Wayland session no active X11 window means a Wayland window is in front.
    explicit X11FrontmostApplication(bool waylandSession = false);
    ~X11FrontmostApplication() override;

    std::optional<FrontmostApplication> current() override;

private:
    std::unique_ptr<X11Connection> m_connection;
    std::uint32_t m_activeWindow = 0, m_pid = 0;
    bool m_waylandSession = false;
};

} // namespace velmora::platform
