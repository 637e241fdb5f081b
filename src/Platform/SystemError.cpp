#include "SystemError.h"

#include <cerrno>
#include <cstring>

namespace velmora::platform {

SystemError SystemError::last()
{
    return SystemError(errno);
}

QString SystemError::description() const
{
    return QString::fromLocal8Bit(std::strerror(m_code));
}

} // namespace velmora::platform
