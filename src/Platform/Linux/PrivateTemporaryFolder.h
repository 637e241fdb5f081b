#pragma once

#include "Platform/SystemError.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace velmora::platform {

// The user's private temporary folder (mode 0700): recordings hold speech and the
// tools' text is pasted into the user's window, so no one else may read or
// replace them. velmora-<uid> in $TMPDIR or /tmp; if another user took that name
// first, velmora in $XDG_RUNTIME_DIR; else a fresh folder made for this process.
namespace PrivateTemporaryFolder {

// The usual name, velmora-<uid> in $TMPDIR or /tmp.
QString path();
// $XDG_RUNTIME_DIR when it is a real folder of this user that no one else may
// enter, as the login manager makes it.
std::optional<QString> runtimeFolder();
// velmora-<uid> in the temporary folder and velmora in the runtime folder, in
// this order or the other: the folders every copy of Velmora of this user finds
// by name (for a socket), as `PrivateFolder::firstOf` takes them.
enum class Order { temporaryFirst, runtimeFirst };
QStringList sharedFolders(Order order);
// The first of the folders above that is, or can be made, a real folder of this
// user with mode 0700; the same fresh folder for the whole process. A folder
// that fails the checks is never used: the usual name's error when none passes.
[[nodiscard]] std::variant<QString, SystemError> ensure();

} // namespace PrivateTemporaryFolder

} // namespace velmora::platform
