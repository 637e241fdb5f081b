#pragma once

#include "Platform/SelectionReader.h"

#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>

struct wl_display;
struct wl_proxy;
struct wl_registry;

namespace velmora::platform {

// One connection to the compositor with a data-control device on the first
// seat; it follows the offers of the clipboard and the primary selection.
// Used by one thread at a time: the reader's worker, or the owner's main thread.
class WaylandDataControlConnection {
public:
    // Nothing without a compositor or without data control.
    static std::unique_ptr<WaylandDataControlConnection> open();
    ~WaylandDataControlConnection();

    wl_display* display() const { return m_display; }
    wl_proxy* manager() const { return m_manager; }
    wl_proxy* device() const { return m_device; }
    bool hasPrimarySelection() const { return m_version >= 2; }

    // The offer now on the selection and the types it offers; null when it is empty.
    wl_proxy* offer(Selection selection) const;
    QStringList typesOf(wl_proxy* offer) const { return m_types.value(offer); }

    // Every selection event after the first, with the selection it was about.
    std::function<void(Selection)> selectionChanged;

    // Sends what is queued and handles what has arrived, without waiting.
    bool dispatchPending();

private:
    WaylandDataControlConnection() = default;
    void replace(Selection selection, wl_proxy* offer);

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_proxy* m_manager = nullptr;
    wl_proxy* m_seat = nullptr;
    wl_proxy* m_device = nullptr;
    uint32_t m_version = 0;
    QHash<wl_proxy*, QStringList> m_types;
    wl_proxy* m_clipboard = nullptr;
    wl_proxy* m_primary = nullptr;
    bool m_ready = false;
};

} // namespace velmora::platform
