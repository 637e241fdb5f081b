#pragma once

#include "Platform/SystemError.h"

#include <QByteArray>
#include <QString>

#include <sys/un.h>

#include <chrono>
#include <optional>
#include <span>
#include <variant>

namespace velmora {

// Unix-domain stream socket primitives shared by the bridge server and host.
// Writes never raise SIGPIPE: a vanished peer is an error return.
namespace BridgeSocket {

// The longest path that fits sun_path with its terminating zero: 107 bytes on Linux.
inline constexpr qsizetype maximumPathLength = qsizetype(sizeof(sockaddr_un::sun_path)) - 1;

// A user of this system, as the kernel names peers.
using UserId = unsigned int;
UserId currentUser();

inline constexpr int standardError = 2;

std::optional<sockaddr_un> address(const QString& path);
// A connected descriptor (close-on-exec), or none.
std::optional<int> connect(const QString& path);
// A listening socket at `path`, readable and writable by this user only. A
// socket of this user left there by a crash is replaced; anything else at the
// path is left alone and the call fails (EADDRINUSE).
[[nodiscard]] std::variant<int, platform::SystemError> listen(const QString& path, int backlog);
struct Accepted {
    int fd;
    std::optional<UserId> peer; // none when the kernel would not say
};
// Waits for the next peer; none once the listening socket is shut down.
std::optional<Accepted> accept(int listenFd);
// A peer that stops reading cannot hold a send for longer than this.
void setSendTimeout(int fd, std::chrono::milliseconds timeout);
// Wakes every thread blocked on the socket; it reads end of stream from then on.
void shutdown(int fd);
void close(int fd);
void setNonBlocking(int fd, bool nonBlocking);

// One read of at most `max` bytes: empty at end of stream, none on error.
std::optional<QByteArray> read(int fd, qsizetype max);
// One read that never blocks on a non-blocking descriptor.
struct WouldBlock {};
[[nodiscard]] std::variant<QByteArray, WouldBlock, platform::SystemError> readSome(int fd, qsizetype max);
// One send that never blocks on a non-blocking socket: how much went, or the error.
[[nodiscard]] std::variant<qsizetype, platform::SystemError> sendSome(int fd, const QByteArray& bytes);
bool writeAll(int fd, const QByteArray& bytes);

// Waits until one of the descriptors is ready for what it is watched for.
struct Watch {
    int fd;
    bool read;
    bool write;
    // Filled in: readable (or closed, or failed), writable.
    bool readable = false;
    bool writable = false;
};
[[nodiscard]] std::optional<platform::SystemError> waitForAny(std::span<Watch> watches);

} // namespace BridgeSocket

} // namespace velmora
