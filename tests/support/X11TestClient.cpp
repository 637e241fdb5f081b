#include "X11TestClient.h"

#include "TestSupport.h"

#include "Platform/Linux/X11KeyCodes.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace velmora::test {

X11TestClient::X11TestClient()
{
    const char* display = std::getenv("DISPLAY");
    if (!display)
        return;
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    m_root = screen->root;
}

X11TestClient::~X11TestClient()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

void X11TestClient::fake(std::uint8_t type, std::uint32_t classicKeyCode, std::uint32_t delayMs)
{
    const auto key = platform::x11KeyCode(classicKeyCode);
    if (!key)
        throw std::invalid_argument("no X key code for that classic key code");
    xcb_test_fake_input(m_connection, type, static_cast<std::uint8_t>(*key), delayMs, XCB_NONE, 0, 0, 0);
    xcb_flush(m_connection);
}

void X11TestClient::press(std::uint32_t classicKeyCode, std::uint32_t delayMs)
{
    fake(XCB_KEY_PRESS, classicKeyCode, delayMs);
}

void X11TestClient::release(std::uint32_t classicKeyCode, std::uint32_t delayMs)
{
    fake(XCB_KEY_RELEASE, classicKeyCode, delayMs);
}

void X11TestClient::tap(std::uint32_t classicKeyCode)
{
    press(classicKeyCode);
    release(classicKeyCode);
}

void X11TestClient::chord(std::initializer_list<std::uint32_t> modifierKeyCodes, std::uint32_t classicKeyCode)
{
    for (const auto modifier : modifierKeyCodes)
        press(modifier);
    tap(classicKeyCode);
    for (auto it = std::rbegin(modifierKeyCodes); it != std::rend(modifierKeyCodes); ++it)
        release(*it);
}

void X11TestClient::sync()
{
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

void X11TestClient::ownSelectionAndHang(const char* selection)
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    const std::uint32_t window = xcb_generate_id(m_connection);
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(std::strlen(selection)), selection),
        nullptr);
    xcb_set_selection_owner(m_connection, window, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    sync(); // this client reads no events: requests for the selection go unanswered
}

bool X11TestClient::grabKey(std::uint32_t classicKeyCode, std::uint16_t xModifierMask)
{
    const auto key = platform::x11KeyCode(classicKeyCode);
    xcb_generic_error_t* error = xcb_request_check(
        m_connection, xcb_grab_key_checked(m_connection, 1, m_root, xModifierMask, static_cast<std::uint8_t>(*key),
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return error == nullptr;
}

bool setKeyboardLayout(const QString& layout)
{
    const auto result = runProcess(QStringLiteral("setxkbmap"), {layout});
    return result.exitCode == 0 && !result.crashed;
}

} // namespace velmora::test
