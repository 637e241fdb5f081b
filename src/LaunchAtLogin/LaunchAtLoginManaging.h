#pragma once

#include "LaunchAtLoginManagerError.h"
#include "LaunchAtLoginState.h"

#include <variant>

namespace LaunchAtLogin {

class LaunchAtLoginManaging {
public:
    virtual ~LaunchAtLoginManaging() = default;
    virtual LaunchAtLoginState currentState() const = 0;
    // Brings the desktop in line with `enabled`; the state afterwards, or why not.
    [[nodiscard]] virtual std::variant<LaunchAtLoginState, LaunchAtLoginManagerError> update(bool enabled) = 0;
};

} // namespace LaunchAtLogin
