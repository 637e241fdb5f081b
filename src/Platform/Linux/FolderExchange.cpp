#include "FolderExchange.h"

#include <QFile>

#include <cstdio>
#include <fcntl.h>

namespace velmora::platform::FolderExchange {

std::optional<SystemError> exchange(const QString& first, const QString& second)
{
    if (::renameat2(AT_FDCWD, QFile::encodeName(first).constData(), AT_FDCWD, QFile::encodeName(second).constData(),
                    RENAME_EXCHANGE)
        != 0)
        return SystemError::last();
    return std::nullopt;
}

} // namespace velmora::platform::FolderExchange
