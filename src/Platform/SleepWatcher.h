#pragma once

#include <QObject>

namespace velmora::platform {

// Tells when the computer has woken from sleep, so that work planned by the
// clock (an hourly check that slept through its hour) is looked at again.
class SleepWatcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void woke();
};

} // namespace velmora::platform
