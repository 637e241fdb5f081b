#include "BridgeSocket.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <type_traits>
#include <vector>

namespace velmora::BridgeSocket {

static_assert(std::is_same_v<UserId, uid_t>);

UserId currentUser()
{
    return ::geteuid();
}

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

std::variant<int, platform::SystemError> listen(const QString& path, int backlog)
{
    const auto where = address(path);
    if (!where)
        return platform::SystemError(ENAMETOOLONG);
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::geteuid())
        ::unlink(native.constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return platform::SystemError::last();
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&*where), sizeof(sockaddr_un)) != 0
        || ::chmod(native.constData(), 0600) != 0 || ::listen(fd, backlog) != 0) {
        const auto error = platform::SystemError::last();
        ::close(fd);
        return error;
    }
    return fd;
}

std::optional<Accepted> accept(int listenFd)
{
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return std::nullopt;
        }
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
            return Accepted{fd, std::nullopt};
        return Accepted{fd, peer.uid};
    }
}

void setSendTimeout(int fd, std::chrono::milliseconds timeout)
{
    timeval limit{};
    limit.tv_sec = time_t(timeout.count() / 1000);
    limit.tv_usec = suseconds_t((timeout.count() % 1000) * 1000);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

void shutdown(int fd)
{
    ::shutdown(fd, SHUT_RDWR);
}

void close(int fd)
{
    ::close(fd);
}

void setNonBlocking(int fd, bool nonBlocking)
{
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, nonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

std::variant<QByteArray, WouldBlock, platform::SystemError> readSome(int fd, qsizetype max)
{
    if (auto bytes = read(fd, max))
        return *bytes;
    if (errno == EAGAIN)
        return WouldBlock{};
    return platform::SystemError::last();
}

std::variant<qsizetype, platform::SystemError> sendSome(int fd, const QByteArray& bytes)
{
    const ssize_t n = ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    if (n >= 0)
        return qsizetype(n);
    if (errno == EAGAIN || errno == EINTR)
        return qsizetype(0);
    return platform::SystemError::last();
}

std::optional<platform::SystemError> waitForAny(std::span<Watch> watches)
{
    std::vector<pollfd> entries;
    entries.reserve(watches.size());
    for (const Watch& watch : watches)
        entries.push_back({watch.fd, short((watch.read ? POLLIN : 0) | (watch.write ? POLLOUT : 0)), 0});
    for (;;) {
        if (::poll(entries.data(), nfds_t(entries.size()), -1) >= 0)
            break;
        if (errno != EINTR)
            return platform::SystemError::last();
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        watches[i].readable = (entries[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
        watches[i].writable = (entries[i].revents & POLLOUT) != 0;
    }
    return std::nullopt;
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
