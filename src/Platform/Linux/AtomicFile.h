#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

#include <optional>

namespace velmora::platform {

// Replaces a file as a whole: written to a temporary file beside it, flushed
// to disk, then renamed over it, so a reader (a sync client, another process,
// a crash) sees the old file or the new one, never half of one.
namespace AtomicFile {

// nullopt on success, else the errno of the step that failed.
std::optional<int> write(const QString& path, const QByteArray& bytes, mode_t mode);

} // namespace AtomicFile

} // namespace velmora::platform
