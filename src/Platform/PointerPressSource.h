#pragma once

#include <QObject>

#include <memory>

namespace velmora::platform {

// Reports every pointer button press in the session, in any client, so a
// popover can close when the user clicks elsewhere. Presses only, no position:
// the receiver asks for the pointer where it needs it.
class PointerPressSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The session's backend; nothing where presses of other clients cannot be seen.
    static std::unique_ptr<PointerPressSource> create();

    // Idempotent; false when watching could not begin.
    virtual bool start() = 0;
    virtual void stop() = 0;

signals:
    void pressed();
};

} // namespace velmora::platform
