#include "Platform/WindowActivation.h"

#include "X11Connection.h"

#include <xcb/xcb.h>

namespace velmora::platform::WindowActivation {

void activate(quintptr nativeWindowId)
{
    const X11Client client = x11ConnectClient();
    if (!client || nativeWindowId == 0)
        return;
    xcb_connection_t* c = client.get();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = std::uint32_t(nativeWindowId);
    message.type = x11Atom(c, "_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 2; // source: a pager or taskbar, acting for the user
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    x11RoundTrip(c);
}

} // namespace velmora::platform::WindowActivation
