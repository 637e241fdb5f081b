#include "LogindSleepWatcher.h"

namespace velmora::platform {

LogindSleepWatcher::LogindSleepWatcher(QDBusConnection bus, QObject* parent)
    : SleepWatcher(parent)
{
    if (!bus.isConnected())
        return;
    // Matched on logind's bus name, so no other client of the system bus can fake a wake.
    m_watching = bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                             QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                             SLOT(prepareForSleep(bool)));
}

void LogindSleepWatcher::prepareForSleep(bool starting)
{
    if (!starting)
        emit woke();
}

} // namespace velmora::platform
