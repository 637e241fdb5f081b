#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariant>

namespace velmora::platform::DesktopPortal {

inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// Where the portal answers a request made with `token`: known before the call,
// so the answer is listened for before it can come.
QString requestPath(const QDBusConnection& bus, const QString& token);
// A session or request handle, sent as an object path or a string.
QString handleOf(const QVariant& value);
// Whether the portal offers `interface` (its version property answers), asked with a short limit.
bool offers(const QDBusConnection& bus, const QString& interface);

} // namespace velmora::platform::DesktopPortal
