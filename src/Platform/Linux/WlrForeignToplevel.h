#pragma once

// The wlr foreign-toplevel protocol (zwlr_foreign_toplevel_management_unstable_v1,
// version 3), described here because Debian ships no description file for it:
// the two interfaces, their listeners in event order, and the requests Velmora
// sends. It tells a client without windows of every window and which is active.
#include <wayland-client.h>

namespace velmora::platform::foreignToplevel {

extern const wl_interface managerInterface; // zwlr_foreign_toplevel_manager_v1
extern const wl_interface handleInterface;  // zwlr_foreign_toplevel_handle_v1

// The values of the handle's state array.
enum State : uint32_t { maximized = 0, minimized = 1, activated = 2, fullscreen = 3 };

struct ManagerListener {
    void (*toplevel)(void* data, wl_proxy* manager, wl_proxy* handle);
    void (*finished)(void* data, wl_proxy* manager);
};
struct HandleListener {
    void (*title)(void* data, wl_proxy* handle, const char* title);
    void (*appId)(void* data, wl_proxy* handle, const char* appId);
    void (*outputEnter)(void* data, wl_proxy* handle, wl_proxy* output);
    void (*outputLeave)(void* data, wl_proxy* handle, wl_proxy* output);
    void (*state)(void* data, wl_proxy* handle, wl_array* states);
    void (*done)(void* data, wl_proxy* handle);
    void (*closed)(void* data, wl_proxy* handle);
    void (*parent)(void* data, wl_proxy* handle, wl_proxy* parent); // version 3; parent may be null
};

// After `closed`: the handle is of no more use.
void destroyHandle(wl_proxy* handle);

} // namespace velmora::platform::foreignToplevel
