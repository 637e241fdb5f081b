#pragma once

// The wlr data-control protocol (zwlr_data_control_unstable_v1, version 2),
// described here because Debian ships no description file for it: the four
// interfaces, their listeners in event order, and the requests Velmora sends.
// It lets a client that has no window read and own the session's clipboard
// and primary selection.
#include <wayland-client.h>

namespace velmora::platform::dataControl {

extern const wl_interface managerInterface; // zwlr_data_control_manager_v1
extern const wl_interface deviceInterface;  // zwlr_data_control_device_v1
extern const wl_interface sourceInterface;  // zwlr_data_control_source_v1
extern const wl_interface offerInterface;   // zwlr_data_control_offer_v1

struct DeviceListener {
    void (*dataOffer)(void* data, wl_proxy* device, wl_proxy* offer);
    void (*selection)(void* data, wl_proxy* device, wl_proxy* offer); // offer may be null
    void (*finished)(void* data, wl_proxy* device);
    void (*primarySelection)(void* data, wl_proxy* device, wl_proxy* offer); // offer may be null
};
struct SourceListener {
    void (*send)(void* data, wl_proxy* source, const char* mimeType, int32_t fd);
    void (*cancelled)(void* data, wl_proxy* source);
};
struct OfferListener {
    void (*offer)(void* data, wl_proxy* offer, const char* mimeType);
};

wl_proxy* createDataSource(wl_proxy* manager);
wl_proxy* getDataDevice(wl_proxy* manager, wl_proxy* seat);
void destroyManager(wl_proxy* manager);
void setSelection(wl_proxy* device, wl_proxy* source);        // source may be null
void setPrimarySelection(wl_proxy* device, wl_proxy* source); // needs version 2
void destroyDevice(wl_proxy* device);
void offerType(wl_proxy* source, const char* mimeType);
void destroySource(wl_proxy* source);
void receive(wl_proxy* offer, const char* mimeType, int fd);
void destroyOffer(wl_proxy* offer);

} // namespace velmora::platform::dataControl
