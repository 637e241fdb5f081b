#include "Platform/SystemInformation.h"

#include <gnu/libc-version.h>

namespace velmora::platform::SystemInformation {

QString cLibraryVersion()
{
    return QString::fromLatin1(gnu_get_libc_version());
}

} // namespace velmora::platform::SystemInformation
