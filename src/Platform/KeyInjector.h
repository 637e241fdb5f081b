#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace velmora::platform {

// The keys that paste in the application in front.
enum class PasteChord {
    controlV,      // almost everywhere
    controlShiftV, // terminal emulators
    shiftInsert,   // xterm: pastes PRIMARY
};

enum class KeyInjectionError {
    noDisplay,
    unavailable,   // the display does not take synthetic keys (no XTest)
    noKey,         // the keymap has no key for the chord
    modifiersHeld, // the user still held a modifier when the wait ran out
    refused,       // the Wayland virtual keyboard or the portal did not take the keys
    withdrawn,     // the caller called the paste off right before its keys
};

// Asked once, right before the keys go (after any wait for modifiers): false calls
// the paste off. May block for a moment; it runs on the injecting thread.
using PasteGate = std::function<bool()>;

QString describe(KeyInjectionError error);

// What a chord presses: its modifiers in the order they go down, then its key,
// as X keysyms (Control_L, Shift_L, v, Insert). Each backend names them its way.
struct ChordKeys {
    std::vector<std::uint32_t> held;
    std::uint32_t key = 0;
};
ChordKeys keysOf(PasteChord chord);

// Posts synthetic key presses. Blocks while it waits for held modifiers to be
// released: call it off the main thread.
class KeyInjector {
public:
    virtual ~KeyInjector() = default;
    virtual bool canPost() = 0;
    // Waits (at most `patience`) until no modifier key is held, so a hot key still
    // down cannot turn the paste into another shortcut, asks `beforeKeys`, then sends the chord.
    [[nodiscard]] virtual std::optional<KeyInjectionError> paste(PasteChord chord, std::chrono::milliseconds patience,
                                                                 const PasteGate& beforeKeys = {}) = 0;
};

} // namespace velmora::platform
