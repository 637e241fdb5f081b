#include "FileLock.h"

#include <sys/file.h>

#include <cerrno>
#include <thread>

namespace velmora::platform::FileLock {

std::optional<SystemError> lock(int fd, Kind kind, std::chrono::milliseconds patience)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + patience;
    const int operation = (kind == Kind::shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    while (::flock(fd, operation) != 0) {
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error != EWOULDBLOCK || steady_clock::now() >= deadline)
            return SystemError(error);
        std::this_thread::sleep_for(milliseconds(5));
    }
    return std::nullopt;
}

void unlock(int fd)
{
    ::flock(fd, LOCK_UN);
}

} // namespace velmora::platform::FileLock
