#include "WlrForeignToplevel.h"

namespace velmora::platform::foreignToplevel {
namespace {

const wl_interface* types[] = {
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    &handleInterface,     // toplevel: new id
    &wl_seat_interface,   // activate
    &wl_surface_interface, // set_rectangle: surface, x, y, width, height
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    &wl_output_interface, // set_fullscreen
    &wl_output_interface, // output_enter
    &wl_output_interface, // output_leave
    &handleInterface,     // parent
};

const wl_message managerRequests[] = {
    {"stop", "", types + 0},
};
const wl_message managerEvents[] = {
    {"toplevel", "n", types + 5},
    {"finished", "", types + 0},
};
const wl_message handleRequests[] = {
    {"set_maximized", "", types + 0},
    {"unset_maximized", "", types + 0},
    {"set_minimized", "", types + 0},
    {"unset_minimized", "", types + 0},
    {"activate", "o", types + 6},
    {"close", "", types + 0},
    {"set_rectangle", "oiiii", types + 7},
    {"destroy", "", types + 0},
    {"set_fullscreen", "2?o", types + 12},
    {"unset_fullscreen", "2", types + 0},
};
const wl_message handleEvents[] = {
    {"title", "s", types + 0},
    {"app_id", "s", types + 0},
    {"output_enter", "o", types + 13},
    {"output_leave", "o", types + 14},
    {"state", "a", types + 0},
    {"done", "", types + 0},
    {"closed", "", types + 0},
    {"parent", "3?o", types + 15},
};

} // namespace

const wl_interface managerInterface = {"zwlr_foreign_toplevel_manager_v1", 3, 1, managerRequests, 2, managerEvents};
const wl_interface handleInterface = {"zwlr_foreign_toplevel_handle_v1", 3, 10, handleRequests, 8, handleEvents};

void destroyHandle(wl_proxy* handle)
{
    wl_proxy_marshal_flags(handle, 7, nullptr, wl_proxy_get_version(handle), WL_MARSHAL_FLAG_DESTROY);
}

} // namespace velmora::platform::foreignToplevel
