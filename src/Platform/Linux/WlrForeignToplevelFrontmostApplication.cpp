#include "WlrForeignToplevelFrontmostApplication.h"

#include "ApplicationName.h"

#include "WaylandDispatch.h"
#include "WlrForeignToplevel.h"

#include <QSocketNotifier>

#include <wayland-client.h>

#include <cstring>

namespace velmora::platform {
namespace {

using Self = WlrForeignToplevelFrontmostApplication;

template <typename Listener>
void listen(wl_proxy* proxy, const Listener& listener, void* data)
{
    wl_proxy_add_listener(proxy, reinterpret_cast<void (**)(void)>(const_cast<Listener*>(&listener)), data);
}

} // namespace

std::unique_ptr<Self> Self::open()
{
    std::unique_ptr<Self> self(new Self);
    self->m_display = wl_display_connect(nullptr);
    if (!self->m_display)
        return nullptr;
    self->m_registry = wl_display_get_registry(self->m_display);
    static const wl_registry_listener registryListener{
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
            auto* self = static_cast<Self*>(data);
            if (std::strcmp(interface, foreignToplevel::managerInterface.name) == 0 && !self->m_manager)
                self->m_manager = static_cast<wl_proxy*>(
                    wl_registry_bind(registry, name, &foreignToplevel::managerInterface, std::min<uint32_t>(version, 3)));
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(self->m_registry, &registryListener, self.get());
    if (wl_display_roundtrip(self->m_display) < 0 || !self->m_manager)
        return nullptr;

    static const foreignToplevel::HandleListener handleListener{
        [](void*, wl_proxy*, const char*) {}, // the title: never kept
        [](void* data, wl_proxy* handle, const char* appId) {
            auto& pending = static_cast<Self*>(data)->m_toplevels[handle].pending;
            // A Wayland window's app_id names its application as an X11 window's class does.
            pending.identifier = pending.instance = QString::fromUtf8(appId);
            pending.name = ApplicationName::of(*pending.identifier);
        },
        [](void*, wl_proxy*, wl_proxy*) {},
        [](void*, wl_proxy*, wl_proxy*) {},
        [](void* data, wl_proxy* handle, wl_array* states) {
            bool activated = false;
            const auto* state = static_cast<const uint32_t*>(states->data);
            for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i)
                activated = activated || state[i] == foreignToplevel::activated;
            static_cast<Self*>(data)->m_toplevels[handle].pendingActivated = activated;
        },
        [](void* data, wl_proxy* handle) {
            Toplevel& toplevel = static_cast<Self*>(data)->m_toplevels[handle];
            toplevel.shown = toplevel.pending;
            toplevel.activated = toplevel.pendingActivated;
        },
        [](void* data, wl_proxy* handle) {
            static_cast<Self*>(data)->m_toplevels.remove(handle);
            foreignToplevel::destroyHandle(handle);
        },
        [](void*, wl_proxy*, wl_proxy*) {},
    };
    static const foreignToplevel::ManagerListener managerListener{
        [](void* data, wl_proxy*, wl_proxy* handle) {
            auto* self = static_cast<Self*>(data);
            Toplevel& toplevel = self->m_toplevels[handle];
            toplevel.pending.window = ++self->m_lastWindow;
            listen(handle, handleListener, self);
        },
        // The compositor will tell no more; the connection is closed once the dispatch returns.
        [](void* data, wl_proxy*) { static_cast<Self*>(data)->m_finished = true; },
    };
    listen(self->m_manager, managerListener, self.get());
    // The windows open now and their states arrive before this answer.
    if (wl_display_roundtrip(self->m_display) < 0 || self->m_finished)
        return nullptr;

    self->m_notifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(self->m_display), QSocketNotifier::Read);
    QObject::connect(self->m_notifier.get(), &QSocketNotifier::activated, [raw = self.get()] { raw->readEvents(); });
    return self;
}

Self::~WlrForeignToplevelFrontmostApplication()
{
    disconnect();
}

std::optional<FrontmostApplication> Self::current()
{
    // A focus change the main loop has not yet read still counts.
    readEvents();
    for (const Toplevel& toplevel : std::as_const(m_toplevels))
        if (toplevel.activated)
            return toplevel.shown;
    return std::nullopt;
}

void Self::readEvents()
{
    if (m_display && (!dispatchArrivedEvents(m_display) || m_finished))
        disconnect();
}

void Self::disconnect()
{
    m_notifier.reset();
    for (auto it = m_toplevels.cbegin(); it != m_toplevels.cend(); ++it)
        wl_proxy_destroy(it.key());
    m_toplevels.clear();
    if (m_manager)
        wl_proxy_destroy(m_manager);
    m_manager = nullptr;
    if (m_registry)
        wl_registry_destroy(m_registry);
    m_registry = nullptr;
    if (m_display)
        wl_display_disconnect(m_display);
    m_display = nullptr;
}

} // namespace velmora::platform
