#include "AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmora::platform::AtomicFile {

std::optional<int> write(const QString& path, const QByteArray& bytes, mode_t mode)
{
    const QFileInfo target(path);
    QByteArray temporary = QFile::encodeName(target.absolutePath()) + "/." + QFile::encodeName(target.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = ::fchmod(fd, mode) == 0 ? 0 : errno;
    for (qsizetype done = 0; error == 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : EIO;
        else
            done += n;
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    ::close(fd);
    if (error == 0 && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return error;
    }
    return std::nullopt;
}

} // namespace velmora::platform::AtomicFile
