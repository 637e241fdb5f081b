#pragma once

#include "Platform/GlobalShortcutSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace velmora::platform {

// The global shortcut through the desktop portal's GlobalShortcuts interface
// (KDE Plasma, recent GNOME), for Wayland sessions where no X11 grab reaches
// the windows in front. One session per source; the user's combination is the
// preferred trigger, and the desktop (often its own dialog) decides the binding.
class PortalGlobalShortcutSource : public GlobalShortcutSource {
    Q_OBJECT
public:
    static inline const QString shortcutId = QStringLiteral("toggle-dictation");

    explicit PortalGlobalShortcutSource(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~PortalGlobalShortcutSource() override;

    // Asks the portal; the outcome arrives as bindingDescribed or grabFailed.
    [[nodiscard]] std::optional<ShortcutGrabError> grab(const ShortcutGrab& shortcut) override;
    void release() override;

    // The portal's form of a combination: "CTRL+SHIFT+space" (the XDG shortcut trigger format).
    static std::optional<QString> triggerFor(const ShortcutGrab& shortcut);

private slots:
    void response(uint code, const QVariantMap& results, const QDBusMessage& message);
    void activated(const QDBusMessage& message);

private:
    void closeSession(bool wait);
    QString request(const QString& method, const QVariantList& arguments, QVariantMap options);
    void bind();
    void fail();

    QDBusConnection m_bus;
    std::optional<ShortcutGrab> m_shortcut;
    QString m_trigger;
    QString m_sessionHandle;
    QString m_createRequest;
    QString m_bindRequest;
    bool m_creating = false;
    bool m_bound = false;
    quint32 m_tokens = 0;
    QString m_sessionToken; // of the session being made
};

} // namespace velmora::platform
