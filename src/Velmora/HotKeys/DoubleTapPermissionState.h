#pragma once

#include "HotKeyMode.h"

#include <QObject>

#include <functional>
#include <utility>

namespace velmora {

// Whether the session lets Velmora see modifier keys pressed in other
// applications, and whether the user must be told it does not.
class DoubleTapPermissionState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasPermission READ hasPermission NOTIFY hasPermissionChanged)
    Q_PROPERTY(bool showsHint READ showsHint NOTIFY showsHintChanged)
public:
    struct Settings {
        HotKeyMode mode = HotKeyMode::combination;
        bool enabled = true;
    };

    static inline const QString hintMessage =
        QStringLiteral("Double-tap cannot see modifier key presses in this session. Without it, nothing happens.");

    // The defaults: XInput2 and XTest on the display; the standard preferences;
    // the application-wide grant notice.
    DoubleTapPermissionState(std::function<bool()> checkPermission = {}, std::function<Settings()> loadSettings = {},
                             std::function<void()> postGranted = {}, QObject* parent = nullptr);
    static DoubleTapPermissionState& shared();

    void refresh();

    bool hasPermission() const { return m_hasPermission; }
    bool showsHint() const { return m_showsHint; }

signals:
    void hasPermissionChanged(bool hasPermission);
    void showsHintChanged(bool showsHint);

private:
    std::function<bool()> m_checkPermission;
    std::function<Settings()> m_loadSettings;
    std::function<void()> m_postGranted;
    bool m_hasPermission = false;
    bool m_showsHint = false;
};

} // namespace velmora
