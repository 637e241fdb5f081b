#pragma once

#include "Platform/SystemError.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>

namespace velmora::platform {

// The few file-system facts and steps the model installer needs.
namespace FileSystem {

struct FileStatus {
    qint64 size = 0;
    // Seconds since the epoch, with the file system's full precision.
    double modified = 0;
};

// Follows links; none when nothing is there.
std::optional<FileStatus> status(const QString& path);
// Bytes an unprivileged user may still write on the folder's volume.
std::optional<qint64> freeSpace(const QString& folder);
// Replaces `to` in one step.
[[nodiscard]] std::optional<SystemError> rename(const QString& from, const QString& to);
// Reads a file from start to end in blocks of `blockSize`, telling the kernel
// the reading is sequential (so a large file reads ahead at full speed).
[[nodiscard]] std::optional<SystemError> readSequentially(const QString& path, size_t blockSize,
                                                          const std::function<void(const char*, size_t)>& block);

} // namespace FileSystem

} // namespace velmora::platform
