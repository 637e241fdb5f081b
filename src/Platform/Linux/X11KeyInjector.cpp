#include "X11KeyInjector.h"

#include "X11Connection.h"
#include "X11Keymap.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include <xkbcommon/xkbcommon-keysyms.h>

namespace velmora::platform {
namespace {

bool hasXTest(xcb_connection_t* c)
{
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_test_id);
    return extension && extension->present;
}

} // namespace

bool X11KeyInjector::canPost()
{
    const auto c = x11ConnectClient();
    return c && hasXTest(c.get());
}

std::optional<KeyInjectionError> X11KeyInjector::paste(PasteChord chord, std::chrono::milliseconds patience,
                                                        const PasteGate& beforeKeys)
{
    const auto connection = x11ConnectClient();
    if (!connection)
        return KeyInjectionError::noDisplay;
    xcb_connection_t* c = connection.get();
    if (!hasXTest(c))
        return KeyInjectionError::unavailable;
    if (!X11Keymap::setUpExtension(c))
        return KeyInjectionError::noKey;
    const auto keymap = X11Keymap::load(c);
    if (!keymap)
        return KeyInjectionError::noKey;

    const ChordKeys keys = keysOf(chord);
    std::vector<std::uint32_t> modifiers;
    for (const std::uint32_t keysym : keys.held)
        modifiers.push_back(keymap->keyCodeTyping(keysym));
    const std::uint32_t key = keymap->keyCodeTyping(keys.key);
    for (const auto modifier : modifiers) {
        if (modifier == 0)
            return KeyInjectionError::noKey;
    }
    if (key == 0)
        return KeyInjectionError::noKey;

    // A hot key the user still holds would turn Ctrl+V into Ctrl+Space+V, or Alt+Ctrl+V.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
        std::unique_ptr<xcb_query_keymap_reply_t, decltype(&std::free)> state(
            xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr), &std::free);
        if (!state)
            return KeyInjectionError::noDisplay;
        bool held = false;
        for (std::uint32_t code = 8; code < 256 && !held; ++code) {
            const bool down = state->keys[code / 8] & (1u << (code % 8));
            held = down && (keymap->modifierFlag(code) != 0 || keymap->isLevelThreeKey(code));
        }
        if (!held)
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            return KeyInjectionError::modifiersHeld;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (beforeKeys && !beforeKeys())
        return KeyInjectionError::withdrawn;

    const auto send = [c](std::uint8_t type, std::uint32_t code) {
        xcb_test_fake_input(c, type, static_cast<std::uint8_t>(code), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    };
    for (const auto modifier : modifiers)
        send(XCB_KEY_PRESS, modifier);
    send(XCB_KEY_PRESS, key);
    send(XCB_KEY_RELEASE, key);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        send(XCB_KEY_RELEASE, *it);
    // Processed by the server before we say so.
    return x11RoundTrip(c) ? std::nullopt : std::optional(KeyInjectionError::noDisplay);
}

} // namespace velmora::platform
