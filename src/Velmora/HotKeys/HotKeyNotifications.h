#pragma once

#include <QObject>

namespace velmora {

// The application-wide notices of the activation input, on the main thread.
class HotKeyNotifications : public QObject {
    Q_OBJECT
public:
    static HotKeyNotifications& shared();

    // Hot-key settings or mode were saved: the trigger must be applied again.
    void postHotKeyChanged() { emit hotKeyChanged(); }
    // Watching other clients' keys has just become possible.
    void postDoubleTapPermissionGranted() { emit doubleTapPermissionGranted(); }

signals:
    void hotKeyChanged();
    void doubleTapPermissionGranted();

private:
    HotKeyNotifications() = default;
};

} // namespace velmora
