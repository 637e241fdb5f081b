#pragma once

#include "Platform/KeyInjector.h"

namespace velmora::platform {

// XTest key events with key codes read from the current keymap; the "v" comes
// from a Latin group, so a user on a Cyrillic or Greek layout still pastes.
// Opens a connection for each call, so it is safe on any one thread.
class X11KeyInjector final : public KeyInjector {
public:
    bool canPost() override;
    std::optional<KeyInjectionError> paste(PasteChord chord, std::chrono::milliseconds patience,
                                                         const PasteGate& beforeKeys = {}) override;
};

} // namespace velmora::platform
