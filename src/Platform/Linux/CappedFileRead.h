#pragma once

#include "Platform/SystemError.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>
#include <variant>

namespace velmora::platform {

// Reads a small file whole, without trusting it: only a regular file, never
// more than a limit (a bigger one is refused without being read), a FIFO
// planted at the name never blocks, and on request under a shared lock so a
// writer that follows the locking rule is never seen half way.
namespace CappedFileRead {

struct Failure {
    enum class Kind { missing, notRegularFile, tooLarge, locked, failed };
    Kind kind;
    std::optional<SystemError> error; // failed, locked
    QString description() const;
    bool operator==(const Failure&) const = default;
};

std::variant<QByteArray, Failure> read(const QString& path, qint64 maximumSize,
                                      std::optional<std::chrono::milliseconds> sharedLockPatience = std::nullopt);

} // namespace CappedFileRead

} // namespace velmora::platform
