#include "PrivateTemporaryFolder.h"

#include "XdgPaths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmora::platform::PrivateTemporaryFolder {

QString path()
{
    return XdgPaths::privateTemporaryFolder();
}

std::variant<QString, int> ensure()
{
    const QString folder = path();
    const QByteArray native = folder.toLocal8Bit();
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return errno;
    // O_NOFOLLOW: a symbolic link planted at our name is not followed.
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? ENOTDIR : errno;
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (info.st_uid != ::getuid())
        error = EPERM;
    else if ((info.st_mode & 0777) != 0700 && ::fchmod(fd, 0700) != 0)
        error = errno;
    ::close(fd);
    if (error != 0)
        return error;
    return folder;
}

} // namespace velmora::platform::PrivateTemporaryFolder
