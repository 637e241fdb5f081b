#pragma once

#include "Platform/NotificationCenter.h"

#include <QDBusConnection>
#include <QHash>

namespace velmora::platform {

// org.freedesktop.Notifications on the session bus. Authorized when the service
// has an owner or the bus can start one; a replacement key remembers the id the
// server gave, so the next notice with that key passes it as replaces_id.
class FreedesktopNotifications final : public NotificationCenter {
public:
    explicit FreedesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus());

    void authorization(QObject* context,
                       std::function<void(std::optional<Authorization>, const QString&)> done) override;
    void post(const Notice& notice, QObject* context, std::function<void(bool)> done) override;

private:
    QDBusConnection m_bus;
    QHash<QString, uint> m_lastIdByKey;
};

} // namespace velmora::platform
