#pragma once

#include <QString>

namespace SingleInstance {

class InstanceLockError {
public:
    enum class Kind {
        createFolderFailed, // the folder of the lock file could not be created
        openFailed,
        lockFailed,
        alreadyRunning,
    };

    static InstanceLockError createFolderFailed(int error) { return {Kind::createFolderFailed, error}; }
    static InstanceLockError openFailed(int error) { return {Kind::openFailed, error}; }
    static InstanceLockError lockFailed(int error) { return {Kind::lockFailed, error}; }
    static InstanceLockError alreadyRunning() { return {Kind::alreadyRunning, 0}; }

    Kind kind() const { return m_kind; }
    int errorNumber() const { return m_errno; }
    // The plain form, such as "openFailed(errno: 13)".
    QString description() const;

    bool operator==(const InstanceLockError&) const = default;

private:
    InstanceLockError(Kind kind, int error) : m_kind(kind), m_errno(error) {}

    Kind m_kind;
    int m_errno;
};

} // namespace SingleInstance
