#include "BackgroundThread.h"

#include <pthread.h>
#include <sched.h>

namespace velmora::platform::BackgroundThread {

bool makeCurrentThreadIdle()
{
    const sched_param parameters{};
    return ::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &parameters) == 0;
}

int currentPolicy()
{
    int policy = 0;
    sched_param parameters{};
    ::pthread_getschedparam(::pthread_self(), &policy, &parameters);
    return policy;
}

} // namespace velmora::platform::BackgroundThread
