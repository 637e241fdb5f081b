#include "PrivateFolder.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace velmora::platform::PrivateFolder {

std::variant<QString, SystemError> ensure(const QString& folder)
{
    const QString parent = QFileInfo(folder).absolutePath();
    if (!QDir().mkpath(parent))
        return SystemError(EACCES);
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return SystemError::last();
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return SystemError(errno == ELOOP ? ENOTDIR : errno);
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (info.st_uid != ::geteuid())
        error = EPERM;
    else if ((info.st_mode & 0777) != 0700 && ::fchmod(fd, 0700) != 0)
        error = errno;
    ::close(fd);
    if (error != 0)
        return SystemError(error);
    return folder;
}

std::variant<QString, SystemError> firstOf(const QStringList& folders)
{
    std::optional<SystemError> first;
    for (const QString& folder : folders) {
        auto made = ensure(folder);
        if (std::holds_alternative<QString>(made))
            return made;
        if (!first)
            first = std::get<SystemError>(made);
    }
    return first.value_or(SystemError(ENOENT));
}

} // namespace velmora::platform::PrivateFolder
