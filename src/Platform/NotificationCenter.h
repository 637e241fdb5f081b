#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace velmora::platform {

// The desktop's notification service, asked without ever waiting on the main thread.
class NotificationCenter {
public:
    enum class Sound { standard, none };
    enum class Authorization { authorized, denied };

    struct Notice {
        QString summary;
        QString body;
        QString replacementKey; // a later notice with the same key replaces this one; empty: never
        Sound sound = Sound::standard;
    };

    virtual ~NotificationCenter() = default;

    // `done` runs on the main thread, later, and only while `context` lives.
    // Authorization fails (with the bus's own text) only when the bus cannot be asked at all.
    virtual void authorization(QObject* context,
                               std::function<void(std::optional<Authorization>, const QString& failure)> done) = 0;
    // True when the service took the notice.
    virtual void post(const Notice& notice, QObject* context, std::function<void(bool)> done) = 0;
};

} // namespace velmora::platform
