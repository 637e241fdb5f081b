#pragma once

#include "HotKeyMode.h"

#include <QObject>

#include <functional>
#include <optional>
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
    // `sessionLimits`: what keeps double tap from the whole session (a Wayland session
    // whose keyboard devices Velmora may not read); with the default check, the session's own word.
    DoubleTapPermissionState(std::function<bool()> checkPermission = {}, std::function<Settings()> loadSettings = {},
                             std::function<void()> postGranted = {}, std::optional<QString> sessionLimits = std::nullopt,
                             QObject* parent = nullptr);
    static DoubleTapPermissionState& shared();

    void refresh();

    bool hasPermission() const { return m_hasPermission; }
    bool showsHint() const { return m_showsHint; }
    // What the hint says: the session's limits where it has them.
    QString hint() const { return m_sessionLimits.isEmpty() ? hintMessage : m_sessionLimits; }

signals:
    void hasPermissionChanged(bool hasPermission);
    void showsHintChanged(bool showsHint);

private:
    std::function<bool()> m_checkPermission;
    std::function<Settings()> m_loadSettings;
    std::function<void()> m_postGranted;
    QString m_sessionLimits;
    bool m_hasPermission = false;
    bool m_showsHint = false;
};

} // namespace velmora
