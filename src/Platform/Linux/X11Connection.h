#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <xcb/xcb.h>

class QSocketNotifier;

namespace velmora::platform {

// A private connection to the X display, separate from the toolkit's, so grabs
// and event selections of one facility never mix with another's. Events are read
// on the main thread when the socket becomes readable.
class X11Connection : public QObject {
    Q_OBJECT
public:
    struct Extension {
        std::uint8_t majorOpcode = 0;
        std::uint8_t firstEvent = 0;
        std::uint8_t firstError = 0;
    };

    // Nothing when $DISPLAY is unset or the server does not answer.
    static std::unique_ptr<X11Connection> open();
    ~X11Connection() override;

    xcb_connection_t* get() const { return m_connection; }
    std::uint32_t root() const { return m_root; }
    std::optional<Extension> extension(const char* name) const;

    // XInput 2.1 or later, whose raw events reach the root window whichever client
    // has the focus or a grab: its major opcode, or nothing.
    std::optional<std::uint8_t> rawInputOpcode() const;
    // Selects these XInput raw event kinds on the root window (0: none); false when refused.
    bool selectRawEvents(std::uint32_t xiEventMask);

    void setEventHandler(std::function<void(const xcb_generic_event_t&)> handler);
    // Replies read on this connection may have pulled events into the library's
    // queue, where the socket no longer announces them.
    void drainSoon();
    // One round trip; false when the connection broke.
    bool sync();

private:
    X11Connection(xcb_connection_t* connection, std::uint32_t root);
    void drain();

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::function<void(const xcb_generic_event_t&)> m_handler;
    QSocketNotifier* m_notifier = nullptr;
    bool m_drainQueued = false;
};

// XInput 2.1 (raw key events from the root window) and XTest on the display.
bool x11CanWatchAndPostKeys();

struct X11Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using X11Client = std::unique_ptr<xcb_connection_t, X11Disconnect>;

// A bare connection for one blocking job on whatever thread runs it (reading a
// selection, sending keys); nothing when there is no display.
X11Client x11ConnectClient();
// One round trip: everything sent before it has been processed. False when the connection broke.
bool x11RoundTrip(xcb_connection_t* connection);

// The atom of a name on any connection (XCB_NONE when the server does not answer).
std::uint32_t x11Atom(xcb_connection_t* connection, const char* name);

} // namespace velmora::platform
