#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

struct xcb_connection_t;
struct xkb_context;
struct xkb_keymap;

namespace velmora::platform {

// The core keyboard's keymap and active group as xkbcommon reads them, and the
// questions the input facilities ask of it.
class X11Keymap {
public:
    // Sets up the keyboard extension on the connection once; nothing without it.
    static bool setUpExtension(xcb_connection_t* connection);
    static std::unique_ptr<X11Keymap> load(xcb_connection_t* connection);
    ~X11Keymap();
    X11Keymap(const X11Keymap&) = delete;
    X11Keymap& operator=(const X11Keymap&) = delete;

    std::uint32_t group() const { return m_group; }

    // What an X key code types on the active group with Shift and/or the level-3
    // shift (AltGr) held; nothing when AltGr is asked for and no key types it.
    std::optional<QString> typedText(std::uint32_t x11KeyCode, bool shift, bool levelThree) const;
    // X modifier masks of the level-3 shift (0 when no real key has it) and Num Lock.
    std::uint16_t levelThreeMask() const { return m_levelThreeMask; }
    std::uint16_t numLockMask() const { return m_numLockMask; }
    // The event modifier flag (Control 0x40000, Alt 0x80000, Shift 0x20000, Super
    // 0x100000) a key is on the first level of the active group, or 0.
    std::uint64_t modifierFlag(std::uint32_t x11KeyCode) const;
    // The key that types the keysym on its first level: the active group first, then
    // the others (a Latin "v" for a Cyrillic user), then the lowest key code. 0: none.
    std::uint32_t keyCodeTyping(std::uint32_t keysym) const;
    bool isLevelThreeKey(std::uint32_t x11KeyCode) const;
    // Same keymap text and group as another: nothing a user would notice changed.
    bool sameAs(const X11Keymap& other) const;

private:
    X11Keymap(xkb_context* context, xkb_keymap* keymap, std::uint32_t group);
    std::uint16_t maskOfKeyWith(std::uint32_t keysym, bool effective) const;

    xkb_context* m_context;
    xkb_keymap* m_keymap;
    std::uint32_t m_group;
    std::uint16_t m_levelThreeMask = 0;
    std::uint16_t m_numLockMask = 0;
    QByteArray m_text;
};

} // namespace velmora::platform
