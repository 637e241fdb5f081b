#pragma once

#include "InstanceLockError.h"

#include "Platform/Linux/FileDescriptor.h"

#include <QString>

#include <memory>
#include <variant>

namespace SingleInstance {

// An exclusive advisory lock on a small file, held while the object exists.
// The kernel drops it when the process ends in any way, so a crash never
// leaves a stale lock behind.
class InstanceLock {
public:
    using Result = std::variant<std::unique_ptr<InstanceLock>, InstanceLockError>;

    [[nodiscard]] static Result acquire(const QString& lockPath);

    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    int fileDescriptor() const { return m_fd.get(); }
    const QString& lockPath() const { return m_lockPath; }

private:
    InstanceLock(velmora::platform::FileDescriptor fd, QString lockPath) : m_fd(std::move(fd)), m_lockPath(std::move(lockPath)) {}

    velmora::platform::FileDescriptor m_fd;
    QString m_lockPath;
};

} // namespace SingleInstance
