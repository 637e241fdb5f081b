#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace velmora::platform {

// The file-system and environment questions that path decisions ask, passed in
// so the decisions can be tested without a prepared disk.
struct FileProbe {
    // A regular file the current user may execute.
    std::function<bool(const QString&)> isExecutableFile;
    // Any file-system entry at the path.
    std::function<bool(const QString&)> exists;
    // An environment variable; nullopt when unset (an empty value is a value).
    std::function<std::optional<QString>(const char*)> environment;

    static const FileProbe& system();
};

} // namespace velmora::platform
