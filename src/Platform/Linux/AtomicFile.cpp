#include "AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace velmora::platform::AtomicFile {

namespace {

// A dotfile manager keeps the real file elsewhere and links to it: replace the
// file the link names and keep the link, as an editor would.
QByteArray followLinks(const QByteArray& path)
{
    QByteArray current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(current.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(current.constData(), target.data(), size_t(target.size()));
        if (n <= 0 || n >= target.size())
            return current;
        target.truncate(n);
        if (!target.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            target.prepend(slash < 0 ? QByteArray("./") : current.left(slash + 1));
        }
        current = target;
    }
    return current;
}

// The rename is only durable once the folder that records it is on disk.
int syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

} // namespace

std::optional<SystemError> write(const QString& path, const QByteArray& bytes, unsigned permissions)
{
    const QByteArray destination = followLinks(QFile::encodeName(QFileInfo(path).absoluteFilePath()));
    const qsizetype slash = destination.lastIndexOf('/');
    const QByteArray folder = slash <= 0 ? QByteArray("/") : destination.left(slash);
    QByteArray temporary = folder + "/." + destination.mid(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return SystemError::last();
    int error = ::fchmod(fd, mode_t(permissions)) == 0 ? 0 : errno;
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
    if (error == 0 && ::rename(temporary.constData(), destination.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return SystemError(error);
    }
    if (const int syncError = syncFolder(folder))
        return SystemError(syncError);
    return std::nullopt;
}

} // namespace velmora::platform::AtomicFile
