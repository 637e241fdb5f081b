#pragma once

#include "Platform/KeyInjector.h"

#include <QString>

#include <linux/input.h>

#include <cstdint>
#include <vector>

namespace velmora::platform {

// Paste keys from a virtual keyboard of Velmora's own made through /dev/uinput:
// the last way to reach Wayland windows where the compositor offers neither a
// virtual-keyboard protocol nor the portal. Needs write access to /dev/uinput.
// Keys are chosen for the session's layout (through XWayland's keymap), so "v"
// is pasted as "v" on any layout.
class UinputKeyInjector : public KeyInjector {
public:
    explicit UinputKeyInjector(QString device = QStringLiteral("/dev/uinput"));

    bool canPost() override;
    [[nodiscard]] std::optional<KeyInjectionError> paste(PasteChord chord, std::chrono::milliseconds patience,
                                                         const PasteGate& beforeKeys = {}) override;

    struct Keys {
        std::uint16_t control = KEY_LEFTCTRL, shift = KEY_LEFTSHIFT, v = KEY_V, insert = KEY_INSERT;
    };
    // The key events of a chord: modifiers down, the key down and up, modifiers up, each followed by a report.
    static std::vector<input_event> eventsFor(PasteChord chord, const Keys& keys);

private:
    QString m_device;
};

} // namespace velmora::platform
