#pragma once

#include "InstanceLockError.h"

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

    static Result acquire(const QString& lockPath);

    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    int fileDescriptor() const { return m_fd; }
    const QString& lockPath() const { return m_lockPath; }

private:
    InstanceLock(int fd, QString lockPath) : m_fd(fd), m_lockPath(std::move(lockPath)) {}

    int m_fd;
    QString m_lockPath;
};

} // namespace SingleInstance
