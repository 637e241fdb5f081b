#include "WaylandDataControl.h"

namespace velmora::platform::dataControl {
namespace {

const wl_interface* types[] = {
    nullptr,
    nullptr,
    &sourceInterface, // create_data_source: new id
    &deviceInterface, // get_data_device: new id, seat
    &wl_seat_interface,
    &sourceInterface, // set_selection
    &offerInterface,  // data_offer: new id
    &offerInterface,  // selection
    &sourceInterface, // set_primary_selection
    &offerInterface,  // primary_selection
};

const wl_message managerRequests[] = {
    {"create_data_source", "n", types + 2},
    {"get_data_device", "no", types + 3},
    {"destroy", "", types + 0},
};
const wl_message deviceRequests[] = {
    {"set_selection", "?o", types + 5},
    {"destroy", "", types + 0},
    {"set_primary_selection", "2?o", types + 8},
};
const wl_message deviceEvents[] = {
    {"data_offer", "n", types + 6},
    {"selection", "?o", types + 7},
    {"finished", "", types + 0},
    {"primary_selection", "2?o", types + 9},
};
const wl_message sourceRequests[] = {
    {"offer", "s", types + 0},
    {"destroy", "", types + 0},
};
const wl_message sourceEvents[] = {
    {"send", "sh", types + 0},
    {"cancelled", "", types + 0},
};
const wl_message offerRequests[] = {
    {"receive", "sh", types + 0},
    {"destroy", "", types + 0},
};
const wl_message offerEvents[] = {
    {"offer", "s", types + 0},
};

uint32_t versionOf(wl_proxy* proxy)
{
    return wl_proxy_get_version(proxy);
}

} // namespace

const wl_interface managerInterface = {"zwlr_data_control_manager_v1", 2, 3, managerRequests, 0, nullptr};
const wl_interface deviceInterface = {"zwlr_data_control_device_v1", 2, 3, deviceRequests, 4, deviceEvents};
const wl_interface sourceInterface = {"zwlr_data_control_source_v1", 1, 2, sourceRequests, 2, sourceEvents};
const wl_interface offerInterface = {"zwlr_data_control_offer_v1", 1, 2, offerRequests, 1, offerEvents};

wl_proxy* createDataSource(wl_proxy* manager)
{
    return wl_proxy_marshal_flags(manager, 0, &sourceInterface, versionOf(manager), 0, nullptr);
}

wl_proxy* getDataDevice(wl_proxy* manager, wl_proxy* seat)
{
    return wl_proxy_marshal_flags(manager, 1, &deviceInterface, versionOf(manager), 0, nullptr, seat);
}

void destroyManager(wl_proxy* manager)
{
    wl_proxy_marshal_flags(manager, 2, nullptr, versionOf(manager), WL_MARSHAL_FLAG_DESTROY);
}

void setSelection(wl_proxy* device, wl_proxy* source)
{
    wl_proxy_marshal_flags(device, 0, nullptr, versionOf(device), 0, source);
}

void setPrimarySelection(wl_proxy* device, wl_proxy* source)
{
    wl_proxy_marshal_flags(device, 2, nullptr, versionOf(device), 0, source);
}

void destroyDevice(wl_proxy* device)
{
    wl_proxy_marshal_flags(device, 1, nullptr, versionOf(device), WL_MARSHAL_FLAG_DESTROY);
}

void offerType(wl_proxy* source, const char* mimeType)
{
    wl_proxy_marshal_flags(source, 0, nullptr, versionOf(source), 0, mimeType);
}

void destroySource(wl_proxy* source)
{
    wl_proxy_marshal_flags(source, 1, nullptr, versionOf(source), WL_MARSHAL_FLAG_DESTROY);
}

void receive(wl_proxy* offer, const char* mimeType, int fd)
{
    wl_proxy_marshal_flags(offer, 0, nullptr, versionOf(offer), 0, mimeType, fd);
}

void destroyOffer(wl_proxy* offer)
{
    wl_proxy_marshal_flags(offer, 1, nullptr, versionOf(offer), WL_MARSHAL_FLAG_DESTROY);
}

} // namespace velmora::platform::dataControl
