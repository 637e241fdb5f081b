#pragma once

namespace LaunchAtLogin {

// Whether Velmora starts by itself at login. An autostart entry needs no
// approval, so `requiresApproval` never comes from the desktop; it is kept for
// callers that treat every state alike.
enum class LaunchAtLoginState { enabled, disabled, requiresApproval };

constexpr bool shouldEnableToggle(LaunchAtLoginState state)
{
    return state != LaunchAtLoginState::disabled;
}

} // namespace LaunchAtLogin
