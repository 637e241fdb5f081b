#pragma once

#include <QString>

namespace LaunchAtLogin {

// Why the autostart entry could not be written or removed, in the user's words.
struct LaunchAtLoginManagerError {
    enum class Kind { registerFailed, unregisterFailed };
    Kind kind;
    QString reason; // the file system's own description

    QString description() const;
    bool operator==(const LaunchAtLoginManagerError&) const = default;
};

} // namespace LaunchAtLogin
