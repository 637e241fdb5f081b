#include "WaylandDispatch.h"

#include <wayland-client.h>

#include <poll.h>

namespace velmora::platform {

bool dispatchArrivedEvents(wl_display* display)
{
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    }
    wl_display_flush(display);
    pollfd ready{wl_display_get_fd(display), POLLIN, 0};
    if (::poll(&ready, 1, 0) > 0) {
        if (wl_display_read_events(display) < 0)
            return false;
    } else {
        wl_display_cancel_read(display);
    }
    return wl_display_dispatch_pending(display) >= 0;
}

} // namespace velmora::platform
