#pragma once

#include "Platform/SystemError.h"

#include <chrono>
#include <optional>

namespace velmora::platform {

// Advisory whole-file locks (flock), as sync clients and our own processes
// take them. A holder keeps its lock only for a moment, so a caller waits for
// it a little and never hangs on a stuck one.
namespace FileLock {

enum class Kind { shared, exclusive };

// Locks the open file, retrying until `patience` has passed (zero: one try).
// EWOULDBLOCK when someone still holds it then.
[[nodiscard]] std::optional<SystemError> lock(int fd, Kind kind, std::chrono::milliseconds patience);
void unlock(int fd);

} // namespace FileLock

} // namespace velmora::platform
