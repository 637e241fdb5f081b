#pragma once

#include "GlobalShortcutSource.h"
#include "KeyboardLayoutSource.h"
#include "ModifierTapSource.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace velmora::platform {

// The one place that picks the session's backend for each input facility.
struct ActivationInput {
    static std::unique_ptr<GlobalShortcutSource> globalShortcuts();
    static std::unique_ptr<ModifierTapSource> modifierTaps();
    static std::unique_ptr<KeyboardLayoutSource> keyboardLayout();
    // Whether the session lets Velmora see other clients' modifier keys and post
    // keys of its own: on X11, XInput 2.1 and XTest on the display.
    static bool canWatchAndPostKeys();
    // The classic key code of a toolkit key event's native key code (an X key code).
    static std::optional<std::uint32_t> classicKeyCode(std::uint32_t nativeKeyCode);
};

} // namespace velmora::platform
