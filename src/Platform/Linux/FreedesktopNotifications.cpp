#include "FreedesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

namespace velmora::platform {
namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString busService = QStringLiteral("org.freedesktop.DBus");
const QString busPath = QStringLiteral("/org/freedesktop/DBus");

// Runs `handle` with the finished call on the main thread, if `context` still lives.
void whenDone(const QDBusPendingCall& call, QObject* context, std::function<void(const QDBusPendingCall&)> handle)
{
    auto* watcher = new QDBusPendingCallWatcher(call);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, handle = std::move(handle)] {
                         watcher->deleteLater();
                         handle(*watcher);
                     });
    // Without the context the watcher would wait forever: it goes with it.
    QObject::connect(context, &QObject::destroyed, watcher, &QObject::deleteLater);
}

QDBusPendingCall busCall(const QDBusConnection& bus, const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(busService, busPath, busService, method);
    message.setArguments(arguments);
    return bus.asyncCall(message);
}

} // namespace

FreedesktopNotifications::FreedesktopNotifications(QDBusConnection bus)
    : m_bus(std::move(bus))
{
}

void FreedesktopNotifications::authorization(QObject* context,
                                             std::function<void(std::optional<Authorization>, const QString&)> done)
{
    if (!m_bus.isConnected()) {
        done(std::nullopt, m_bus.lastError().message().isEmpty() ? QStringLiteral("No session bus.")
                                                                 : m_bus.lastError().message());
        return;
    }
    QDBusConnection bus = m_bus;
    whenDone(busCall(bus, QStringLiteral("NameHasOwner"), {service}), context,
             [bus, context, done](const QDBusPendingCall& call) {
                 const QDBusPendingReply<bool> owned = call;
                 if (owned.isError())
                     return done(std::nullopt, owned.error().message());
                 if (owned.value())
                     return done(Authorization::authorized, {});
                 whenDone(busCall(bus, QStringLiteral("ListActivatableNames")), context,
                          [done](const QDBusPendingCall& listed) {
                              const QDBusPendingReply<QStringList> names = listed;
                              if (names.isError())
                                  return done(std::nullopt, names.error().message());
                              done(names.value().contains(service) ? Authorization::authorized : Authorization::denied,
                                   {});
                          });
             });
}

void FreedesktopNotifications::post(const Notice& notice, QObject* context, std::function<void(bool)> done)
{
    if (!m_bus.isConnected())
        return done(false);
    QVariantMap hints;
    if (notice.sound == Sound::standard)
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
    else
        hints.insert(QStringLiteral("suppress-sound"), true);
    const uint replaces = notice.replacementKey.isEmpty() ? 0 : m_lastIdByKey.value(notice.replacementKey, 0);
    QDBusMessage message = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                                          service, QStringLiteral("Notify"));
    message.setArguments({QStringLiteral("Velmora"), replaces, QString(), notice.summary, notice.body, QStringList(),
                          hints, -1});
    const QString key = notice.replacementKey;
    whenDone(m_bus.asyncCall(message), context, [this, key, done](const QDBusPendingCall& call) {
        const QDBusPendingReply<uint> id = call;
        if (id.isError())
            return done(false);
        if (!key.isEmpty())
            m_lastIdByKey.insert(key, id.value());
        done(true);
    });
}

} // namespace velmora::platform
