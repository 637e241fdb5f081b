#pragma once

#include <QString>

#include <optional>

namespace velmora::platform {

// Where the running program sits in its bundle: <bundle>/bin/velmora with the
// resources in <bundle>/Resources.
struct MainBundle {
    QString bundlePath;
    std::optional<QString> resourcePath;
    std::optional<QString> executablePath;
    std::optional<QString> argv0;

    // From the kernel's view of the running executable, so a symbolic link or a
    // relative start path still finds the real bundle.
    static MainBundle current(std::optional<QString> argv0);
    // The bundle that holds the executable at this path.
    static MainBundle forExecutable(const QString& executablePath, std::optional<QString> argv0);
};

} // namespace velmora::platform
