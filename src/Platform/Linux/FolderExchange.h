#pragma once

#include "Platform/SystemError.h"

#include <QString>

#include <optional>

namespace velmora::platform {

// Swaps two folders on one file system in a single step: at no moment is
// either path missing or half of one and half of the other.
namespace FolderExchange {

std::optional<SystemError> exchange(const QString& first, const QString& second);
// The same for two paths relative to an open folder, so a folder renamed or replaced
// around them meanwhile cannot redirect the swap.
std::optional<SystemError> exchangeIn(int folderDescriptor, const QString& first, const QString& second);

} // namespace FolderExchange

} // namespace velmora::platform
