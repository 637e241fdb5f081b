#include "BackgroundThread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

namespace velmora::platform::BackgroundThread {

bool lowerCurrentThreadPriority()
{
    // On Linux the nice value belongs to the thread named by its id, not to the whole process.
    return ::setpriority(PRIO_PROCESS, id_t(::gettid()), backgroundNiceValue) == 0;
}

int currentNiceValue()
{
    errno = 0;
    return ::getpriority(PRIO_PROCESS, id_t(::gettid()));
}

} // namespace velmora::platform::BackgroundThread
