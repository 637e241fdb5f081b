#pragma once

#include "Platform/SelectionOwner.h"

#include <QHash>

#include <memory>

class QSocketNotifier;
struct wl_proxy;

namespace velmora::platform {

class WaylandDataControlConnection;

// The clipboard and primary selection of a Wayland session, owned through data
// control on the main thread. Requests for the data are answered on a pool
// thread, so a slow reader cannot stall the main thread. What it still owns
// when it goes is handed to wl-copy, so the user's clipboard outlives Velmora.
class WaylandSelectionOwner : public SelectionOwner {
    Q_OBJECT
public:
    explicit WaylandSelectionOwner(QObject* parent = nullptr);
    ~WaylandSelectionOwner() override;

    bool isAvailable() const override { return m_connection != nullptr; }
    void own(Selection selection, std::vector<SelectionFormat> formats) override;

private:
    struct Source {
        Selection selection;
        std::vector<SelectionFormat> formats;
    };
    void readEvents();
    void handOver();
    void send(wl_proxy* source, const char* mimeType, int fd);
    void cancelled(wl_proxy* source);

    std::unique_ptr<WaylandDataControlConnection> m_connection;
    QSocketNotifier* m_notifier = nullptr;
    QHash<wl_proxy*, Source> m_sources;
    QHash<int, wl_proxy*> m_current; // the source now on each selection, while it is ours
    // Our own changes come back as selection events; these are not news.
    QHash<int, int> m_echoes;
};

} // namespace velmora::platform
