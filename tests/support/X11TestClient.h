#pragma once

#include <QString>

#include <cstdint>
#include <memory>

struct xcb_connection_t;

namespace velmora::test {

// Another client on the test display: types with XTest, grabs keys, switches layouts.
class X11TestClient {
public:
    X11TestClient();
    ~X11TestClient();

    bool isConnected() const { return m_connection != nullptr; }

    // Keys by classic key code (the table the product uses). `delayMs` makes the
    // server hold the event that long before it processes it, so the server's
    // own time stamps carry the pause, whatever the test process is doing.
    void press(std::uint32_t classicKeyCode, std::uint32_t delayMs = 0);
    void release(std::uint32_t classicKeyCode, std::uint32_t delayMs = 0);
    void tap(std::uint32_t classicKeyCode);
    // Presses the modifiers, taps the key, releases them in reverse order.
    void chord(std::initializer_list<std::uint32_t> modifierKeyCodes, std::uint32_t classicKeyCode);
    // A round trip: everything sent so far has been processed by the server.
    void sync();

    // Takes a selection ("CLIPBOARD", "PRIMARY") and never answers for it: a frozen owner.
    void ownSelectionAndHang(const char* selection);

    // A passive grab as another application would hold it; false when refused.
    bool grabKey(std::uint32_t classicKeyCode, std::uint16_t xModifierMask);

private:
    void fake(std::uint8_t type, std::uint32_t classicKeyCode, std::uint32_t delayMs);

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
};

// Runs setxkbmap with the given arguments on the test display; true on success.
bool setKeyboardLayout(const QString& layout);

// Classic key codes the tests type with.
namespace keys {
inline constexpr std::uint32_t a = 0, v = 9, q = 12, iso = 10, backslash = 42, nine = 25, space = 49, tab = 48,
                               escape = 53, shift = 56, capsLock = 57, option = 58, control = 59, command = 55,
                               rightOption = 61, numLock = 71;
}

} // namespace velmora::test
