#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace velmora::platform {

// The application in front: its active window and what the window says of itself.
struct FrontmostApplication {
    std::uint32_t window = 0;
    std::optional<qint32> processId;  // some clients never say
    std::optional<QString> name;      // the window's title
    std::optional<QString> identifier; // the window's class (WM_CLASS)
    std::optional<QString> instance;  // the window's instance name (WM_CLASS)

    bool operator==(const FrontmostApplication&) const = default;
};

class FrontmostApplicationSource {
public:
    virtual ~FrontmostApplicationSource() = default;
    // Nothing when no window is active or there is no display.
    virtual std::optional<FrontmostApplication> current() = 0;
};

} // namespace velmora::platform
