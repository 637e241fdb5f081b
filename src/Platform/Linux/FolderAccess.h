#pragma once

#include "FileDescriptor.h"

#include <QString>

namespace velmora::platform {

// Who else may change a folder: a copy that replaces its own files must be the
// only one who can, or another could swap what it checked before it is used.
namespace FolderAccess {

// Owned by this user, and writable neither by the group nor by others.
bool isOnlyOurs(const QString& path);
bool isOnlyOurs(const FileDescriptor& folder);
// The folder itself, held open so that later steps work in it whatever is renamed around it.
FileDescriptor open(const QString& folder);
// A file for reading, never through a link at its last name.
FileDescriptor openFile(const QString& path);

} // namespace FolderAccess

} // namespace velmora::platform
