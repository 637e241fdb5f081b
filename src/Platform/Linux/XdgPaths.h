#pragma once

#include <QString>

namespace velmora::platform {

// The user's base folders, computed from $HOME and the XDG variables at each
// call so that a process (or a test) that changes them is followed at once.
namespace XdgPaths {

QString home();
QString dataHome();   // $XDG_DATA_HOME, else ~/.local/share
QString configHome(); // $XDG_CONFIG_HOME, else ~/.config
QString stateHome();  // $XDG_STATE_HOME, else ~/.local/state
QString cacheHome();  // $XDG_CACHE_HOME, else ~/.cache
// The private temporary folder velmora-<uid> in $TMPDIR (else /tmp); not created here.
QString privateTemporaryFolder();

} // namespace XdgPaths

} // namespace velmora::platform
