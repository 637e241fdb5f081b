#pragma once

#include "Platform/SystemError.h"

#include <QString>
#include <QStringList>

#include <variant>

namespace velmora::platform {

// A folder only this user may enter (mode 0700): the private temporary folder,
// the bridge socket's folder.
namespace PrivateFolder {

// Creates the folder (and its parents) if needed and makes sure it is a real
// folder of this user with mode 0700. The mode is repaired on the opened
// folder itself, never through a path, so a symbolic link planted at the name
// is refused (ENOTDIR) without touching what it points to; a folder of another
// user is refused with EPERM. Returns the folder, or the error.
[[nodiscard]] std::variant<QString, SystemError> ensure(const QString& folder);
// The first of `folders` that `ensure` accepts, else the first one's error.
[[nodiscard]] std::variant<QString, SystemError> firstOf(const QStringList& folders);

} // namespace PrivateFolder

} // namespace velmora::platform
