#include "BridgeSocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmora::BridgeSocket {

std::optional<sockaddr_un> address(const QString& path)
{
    const QByteArray bytes = path.toUtf8();
    if (bytes.isEmpty() || bytes.size() > maximumPathLength)
        return std::nullopt;
    sockaddr_un result{};
    result.sun_family = AF_UNIX;
    std::memcpy(result.sun_path, bytes.constData(), size_t(bytes.size()));
    return result;
}

std::optional<int> connect(const QString& path)
{
    const auto target = address(path);
    if (!target)
        return std::nullopt;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr*>(&*target), sizeof(sockaddr_un));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(fd);
        return std::nullopt;
    }
    return fd;
}

std::optional<QByteArray> read(int fd, qsizetype max)
{
    QByteArray buffer(max, Qt::Uninitialized);
    ssize_t n;
    do {
        n = ::read(fd, buffer.data(), size_t(max));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return std::nullopt;
    buffer.truncate(n);
    return buffer;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        // send() with MSG_NOSIGNAL on sockets; write() for pipes and files.
        ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK)
            n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace velmora::BridgeSocket
