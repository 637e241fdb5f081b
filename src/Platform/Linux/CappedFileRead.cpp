#include "CappedFileRead.h"

#include "FileDescriptor.h"
#include "FileLock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmora::platform::CappedFileRead {

QString Failure::description() const
{
    switch (kind) {
    case Kind::missing:
        return QStringLiteral("no such file");
    case Kind::notRegularFile:
        return QStringLiteral("not a regular file");
    case Kind::tooLarge:
        return QStringLiteral("file is too large");
    case Kind::locked:
        return QStringLiteral("the file stays locked by another program");
    case Kind::failed:
        return error ? error->description() : QStringLiteral("read failed");
    }
    return {};
}

std::variant<QByteArray, Failure> read(const QString& path, qint64 maximumSize,
                                      std::optional<std::chrono::milliseconds> sharedLockPatience)
{
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO planted at the name must not wait for a writer.
    FileDescriptor fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        const int error = errno;
        struct stat entry {};
        // A link to nowhere is there, just unreadable.
        if ((error == ENOENT || error == ENOTDIR) && ::lstat(native.constData(), &entry) != 0)
            return Failure{Failure::Kind::missing, SystemError(error)};
        return Failure{Failure::Kind::failed, SystemError(error)};
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return Failure{Failure::Kind::failed, SystemError::last()};
    if (!S_ISREG(info.st_mode))
        return Failure{Failure::Kind::notRegularFile, std::nullopt};
    if (info.st_size > maximumSize)
        return Failure{Failure::Kind::tooLarge, std::nullopt};
    if (sharedLockPatience) {
        if (const auto error = FileLock::lock(fd.get(), FileLock::Kind::shared, *sharedLockPatience))
            return Failure{Failure::Kind::locked, error};
    }
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failure{Failure::Kind::failed, SystemError::last()};
        if (n == 0)
            return bytes;
        // The file may have grown since it was measured.
        if (bytes.size() + n > maximumSize)
            return Failure{Failure::Kind::tooLarge, std::nullopt};
        bytes.append(buffer, n);
    }
}

} // namespace velmora::platform::CappedFileRead
