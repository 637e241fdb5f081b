#pragma once

#include <QString>

namespace velmora::platform {

// A system call that failed, by its error number: what crosses the platform
// seam instead of a bare errno.
class SystemError {
public:
    explicit SystemError(int code) : m_code(code) {}
    // The calling thread's errno, right after the failing call.
    static SystemError last();

    int code() const { return m_code; }
    // The system's own text ("Permission denied").
    QString description() const;
    bool operator==(const SystemError&) const = default;

private:
    int m_code;
};

} // namespace velmora::platform
