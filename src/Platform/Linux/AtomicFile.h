#pragma once

#include "Platform/SystemError.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmora::platform {

// Replaces a file as a whole: written to a temporary file beside it, flushed
// to disk, then renamed over it, so a reader (a sync client, another process,
// a crash) sees the old file or the new one, never half of one.
namespace AtomicFile {

// nullopt on success, else the error of the step that failed. `permissions`: the new file's mode bits.
[[nodiscard]] std::optional<SystemError> write(const QString& path, const QByteArray& bytes, unsigned permissions);

} // namespace AtomicFile

} // namespace velmora::platform
