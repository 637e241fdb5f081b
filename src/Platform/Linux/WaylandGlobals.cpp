#include "WaylandGlobals.h"

#include <wayland-client.h>

namespace velmora::platform {

QStringList waylandGlobals()
{
    QStringList names;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return names;
    wl_registry* registry = wl_display_get_registry(display);
    static const wl_registry_listener listener{
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            static_cast<QStringList*>(data)->append(QString::fromLatin1(interface));
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &names);
    if (wl_display_roundtrip(display) < 0)
        names.clear();
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return names;
}

} // namespace velmora::platform
