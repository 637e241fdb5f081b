#pragma once

#include <utility>

namespace velmora::platform {

// An open descriptor with one owner, closed when the owner goes.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    explicit operator bool() const { return isValid(); }
    // Hands the descriptor over; the caller closes it.
    int release() { return std::exchange(m_fd, -1); }
    // Closes the current descriptor and owns `fd` instead.
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

} // namespace velmora::platform
