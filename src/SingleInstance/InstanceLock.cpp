#include "InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace SingleInstance {

namespace {

// mkdir -p with the error number of the first failing step.
int createFolders(const std::string& folder)
{
    if (folder.empty())
        return 0;
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = slash == std::string::npos ? folder : folder.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
            return errno;
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

} // namespace

InstanceLock::Result InstanceLock::acquire(const QString& lockPath)
{
    const std::string path = lockPath.toStdString();
    const std::string folder = path.substr(0, path.rfind('/'));
    if (const int error = createFolders(folder); error != 0)
        return InstanceLockError::createFolderFailed(error);

    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return InstanceLockError::openFailed(errno);

    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return InstanceLockError::alreadyRunning();
        return InstanceLockError::lockFailed(error);
    }

    // The pid is only informative; failing to write it does not weaken the lock.
    const std::string pid = std::to_string(::getpid()) + '\n';
    if (::ftruncate(fd, 0) == 0)
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);

    return std::unique_ptr<InstanceLock>(new InstanceLock(fd, lockPath));
}

InstanceLock::~InstanceLock()
{
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
}

} // namespace SingleInstance
