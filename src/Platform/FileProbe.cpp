#include "FileProbe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace velmora::platform {

const FileProbe& FileProbe::system()
{
    static const FileProbe probe{
        [](const QString& path) {
            if (path.isEmpty())
                return false;
            const QByteArray native = path.toLocal8Bit();
            struct stat info {};
            return ::stat(native.constData(), &info) == 0 && S_ISREG(info.st_mode)
                   && ::access(native.constData(), X_OK) == 0;
        },
        [](const QString& path) {
            struct stat info {};
            return !path.isEmpty() && ::lstat(path.toLocal8Bit().constData(), &info) == 0;
        },
        [](const char* name) -> std::optional<QString> {
            const char* value = std::getenv(name);
            if (!value)
                return std::nullopt;
            return QString::fromLocal8Bit(value);
        },
    };
    return probe;
}

} // namespace velmora::platform
