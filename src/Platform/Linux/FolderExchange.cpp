#include "FolderExchange.h"

#include <QFile>

#include <cstdio>
#include <fcntl.h>

namespace velmora::platform::FolderExchange {

std::optional<SystemError> exchange(const QString& first, const QString& second)
{
    return exchangeIn(AT_FDCWD, first, second);
}

std::optional<SystemError> exchangeIn(int folderDescriptor, const QString& first, const QString& second)
{
    if (::renameat2(folderDescriptor, QFile::encodeName(first).constData(), folderDescriptor,
                    QFile::encodeName(second).constData(), RENAME_EXCHANGE)
        != 0)
        return SystemError::last();
    return std::nullopt;
}

} // namespace velmora::platform::FolderExchange
