#pragma once

#include <QObject>

#include <cstdint>

namespace velmora::platform {

// Watches the modifier keys of the whole session, whichever client has focus or
// holds a grab. Reports carry the event modifier-flag word (Control 0x40000,
// Option 0x80000, Shift 0x20000, Command 0x100000; left and right alike) and the
// server's time of the key event in seconds.
class ModifierTapSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // False when the session does not let Velmora see other clients' keys.
    virtual bool canObserve() const = 0;
    // Idempotent; false when watching could not begin.
    virtual bool start() = 0;
    virtual void stop() = 0;

signals:
    void modifierFlagsChanged(double timestamp, std::uint64_t flags);
};

} // namespace velmora::platform
