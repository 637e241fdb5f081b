#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace velmora::platform {

// The application in front: its active window and what the window says of itself.
struct FrontmostApplication {
    std::uint32_t window = 0;
    std::optional<qint32> processId;  // some clients never say
    std::optional<QString> name;      // the application's name, never the window's title
    std::optional<QString> identifier; // the window's class (WM_CLASS)
    std::optional<QString> instance;  // the window's instance name (WM_CLASS)

    bool operator==(const FrontmostApplication&) const = default;

    // X11 sees no Wayland window: on Wayland, an X11 view with no active window
    // has one of those in front. Its number is no X11 window's, and the same for
    // each, so a switch from an X11 window to it is still noticed.
    static constexpr std::uint32_t unseenWaylandWindow = 0xFFFFFFFFu;
};

class FrontmostApplicationSource {
public:
    virtual ~FrontmostApplicationSource() = default;
    // Nothing when no window is active or there is no display.
    virtual std::optional<FrontmostApplication> current() = 0;
};

} // namespace velmora::platform
