#pragma once

#include <QDBusConnection>
#include <QList>
#include <QString>
#include <QStringList>
#include <QObject>
#include <QVariant>

#include <functional>

namespace velmora::platform::DesktopPortal {

inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// Where the portal answers a request made with `token`: known before the call,
// so the answer is listened for before it can come.
QString requestPath(const QDBusConnection& bus, const QString& token);
// The handle the portal gives a session asked for with this session_handle_token.
QString sessionPath(const QDBusConnection& bus, const QString& token);
// A session or request handle, sent as an object path or a string.
QString handleOf(const QVariant& value);
// Calls `method` of `interface` with `options` plus a handle token made from `token`, having first
// connected the answer (org.freedesktop.portal.Request.Response) to `receiver`'s `responseSlot`;
// `refused` runs on the main thread if the call itself fails. The request's path.
QString request(QDBusConnection& bus, const QString& interface, const QString& method, QVariantList arguments,
                QVariantMap options, const QString& token, QObject* receiver, const char* responseSlot,
                std::function<void(const QString& error)> refused);
// Stops listening for the answer at `path` (one answer per request).
void forget(QDBusConnection& bus, const QString& path, QObject* receiver, const char* responseSlot);
// Whether the portal offers each of `interfaces` (its version property answers): asked all at
// once, each with a one-second limit, so a portal still starting costs a second, not one per interface.
QList<bool> offers(const QDBusConnection& bus, const QStringList& interfaces);

} // namespace velmora::platform::DesktopPortal
