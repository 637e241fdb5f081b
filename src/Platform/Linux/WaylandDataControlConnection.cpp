#include "WaylandDataControlConnection.h"

#include "WaylandDataControl.h"
#include "WaylandDispatch.h"

#include <wayland-client.h>

#include <cstring>

namespace velmora::platform {
namespace {

const dataControl::OfferListener offerListener{
    [](void* data, wl_proxy* offer, const char* mimeType) {
        static_cast<QHash<wl_proxy*, QStringList>*>(data)->operator[](offer).append(QString::fromUtf8(mimeType));
    },
};

} // namespace

std::unique_ptr<WaylandDataControlConnection> WaylandDataControlConnection::open()
{
    std::unique_ptr<WaylandDataControlConnection> connection(new WaylandDataControlConnection);
    auto* self = connection.get();
    self->m_display = wl_display_connect(nullptr);
    if (!self->m_display)
        return nullptr;
    self->m_registry = wl_display_get_registry(self->m_display);
    static const wl_registry_listener registryListener{
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
            auto* self = static_cast<WaylandDataControlConnection*>(data);
            if (std::strcmp(interface, dataControl::managerInterface.name) == 0 && !self->m_manager) {
                self->m_version = std::min<uint32_t>(version, 2);
                self->m_manager = static_cast<wl_proxy*>(
                    wl_registry_bind(registry, name, &dataControl::managerInterface, self->m_version));
            } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat) {
                self->m_seat = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
            }
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(self->m_registry, &registryListener, self);
    if (wl_display_roundtrip(self->m_display) < 0 || !self->m_manager || !self->m_seat)
        return nullptr;
    self->m_device = dataControl::getDataDevice(self->m_manager, self->m_seat);
    static const dataControl::DeviceListener deviceListener{
        [](void* data, wl_proxy*, wl_proxy* offer) {
            auto* self = static_cast<WaylandDataControlConnection*>(data);
            self->m_types.insert(offer, {});
            wl_proxy_add_listener(offer, reinterpret_cast<void (**)(void)>(const_cast<dataControl::OfferListener*>(&offerListener)),
                                  &self->m_types);
        },
        [](void* data, wl_proxy*, wl_proxy* offer) {
            static_cast<WaylandDataControlConnection*>(data)->replace(Selection::clipboard, offer);
        },
        [](void*, wl_proxy*) {},
        [](void* data, wl_proxy*, wl_proxy* offer) {
            static_cast<WaylandDataControlConnection*>(data)->replace(Selection::primary, offer);
        },
    };
    wl_proxy_add_listener(self->m_device, reinterpret_cast<void (**)(void)>(const_cast<dataControl::DeviceListener*>(&deviceListener)),
                          self);
    // The device tells the selections as they are now; changes come after.
    if (wl_display_roundtrip(self->m_display) < 0)
        return nullptr;
    self->m_ready = true;
    return connection;
}

WaylandDataControlConnection::~WaylandDataControlConnection()
{
    for (auto it = m_types.cbegin(); it != m_types.cend(); ++it)
        dataControl::destroyOffer(it.key());
    if (m_device)
        dataControl::destroyDevice(m_device);
    if (m_manager)
        dataControl::destroyManager(m_manager);
    if (m_seat)
        wl_proxy_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_display) {
        wl_display_flush(m_display);
        wl_display_disconnect(m_display);
    }
}

wl_proxy* WaylandDataControlConnection::offer(Selection selection) const
{
    return selection == Selection::clipboard ? m_clipboard : m_primary;
}

void WaylandDataControlConnection::replace(Selection selection, wl_proxy* offer)
{
    wl_proxy*& current = selection == Selection::clipboard ? m_clipboard : m_primary;
    if (current && current != offer && current != (selection == Selection::clipboard ? m_primary : m_clipboard)) {
        m_types.remove(current);
        dataControl::destroyOffer(current);
    }
    current = offer;
    if (m_ready && selectionChanged)
        selectionChanged(selection);
}

bool WaylandDataControlConnection::dispatchPending()
{
    return dispatchArrivedEvents(m_display);
}

} // namespace velmora::platform
