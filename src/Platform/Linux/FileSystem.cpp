#include "FileSystem.h"

#include "FileDescriptor.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace velmora::platform::FileSystem {

std::optional<FileStatus> status(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileStatus{qint64(info.st_size), double(info.st_mtim.tv_sec) + double(info.st_mtim.tv_nsec) / 1e9};
}

std::optional<qint64> freeSpace(const QString& folder)
{
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.f_bavail) * qint64(info.f_frsize);
}

std::optional<SystemError> rename(const QString& from, const QString& to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return SystemError::last();
    return std::nullopt;
}

std::optional<SystemError> readSequentially(const QString& path, size_t blockSize,
                                            const std::function<void(const char*, size_t)>& block)
{
    FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return SystemError::last();
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    const auto buffer = std::make_unique<char[]>(blockSize);
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer.get(), blockSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return SystemError::last();
        if (n == 0)
            return std::nullopt;
        block(buffer.get(), size_t(n));
    }
}

} // namespace velmora::platform::FileSystem
