#pragma once

struct wl_display;

namespace velmora::platform {

// Sends what is queued and handles the events that have already arrived,
// without ever waiting for the compositor; false once the connection is lost.
bool dispatchArrivedEvents(wl_display* display);

} // namespace velmora::platform
