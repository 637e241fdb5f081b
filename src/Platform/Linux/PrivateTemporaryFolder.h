#pragma once

#include "Platform/SystemError.h"

#include <QString>

#include <variant>

namespace velmora::platform {

// The user's private temporary folder, velmora-<uid> (mode 0700) in $TMPDIR or
// /tmp: recordings hold speech and must not be readable by others.
namespace PrivateTemporaryFolder {

QString path();
// Creates the folder if needed and makes sure it is a real folder of this
// user with mode 0700. A folder someone else planted there is refused
// (the errno, EPERM or ENOTDIR).
[[nodiscard]] std::variant<QString, SystemError> ensure();

} // namespace PrivateTemporaryFolder

} // namespace velmora::platform
