#include "InstanceLock.h"

#include "Platform/Linux/FileLock.h"

#include <fcntl.h>
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

    velmora::platform::FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd)
        return InstanceLockError::openFailed(errno);

    using velmora::platform::FileLock::Kind;
    if (const auto error = velmora::platform::FileLock::lock(fd.get(), Kind::exclusive, std::chrono::milliseconds(0))) {
        if (error->code() == EWOULDBLOCK)
            return InstanceLockError::alreadyRunning();
        return InstanceLockError::lockFailed(error->code());
    }

    // The pid is only informative; failing to write it does not weaken the lock.
    const std::string pid = std::to_string(::getpid()) + '\n';
    if (::ftruncate(fd.get(), 0) == 0)
        [[maybe_unused]] const ssize_t written = ::pwrite(fd.get(), pid.data(), pid.size(), 0);

    return std::unique_ptr<InstanceLock>(new InstanceLock(std::move(fd), lockPath));
}

InstanceLock::~InstanceLock()
{
    velmora::platform::FileLock::unlock(m_fd.get());
}

} // namespace SingleInstance
