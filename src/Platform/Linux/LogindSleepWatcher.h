#pragma once

#include "Platform/SleepWatcher.h"

#include <QDBusConnection>

namespace velmora::platform {

// logind's PrepareForSleep(false) on the system bus: sent once the system has
// resumed. Without a system bus (a container, a test) it never fires; that is
// not an error, the hourly timer still runs.
class LogindSleepWatcher : public SleepWatcher {
    Q_OBJECT
public:
    explicit LogindSleepWatcher(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);

    bool isWatching() const { return m_watching; }

private slots:
    void prepareForSleep(bool starting);

private:
    bool m_watching = false;
};

} // namespace velmora::platform
