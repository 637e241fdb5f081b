#pragma once

#include <QByteArray>
#include <QString>

#include <sys/un.h>

#include <optional>

namespace velmora {

// Unix-domain stream socket primitives shared by the bridge server and host.
// Writes never raise SIGPIPE: a vanished peer is an error return.
namespace BridgeSocket {

// The longest path that fits sun_path with its terminating zero: 107 bytes on Linux.
inline constexpr qsizetype maximumPathLength = qsizetype(sizeof(sockaddr_un::sun_path)) - 1;

std::optional<sockaddr_un> address(const QString& path);
// A connected descriptor (close-on-exec), or none.
std::optional<int> connect(const QString& path);
// One read of at most `max` bytes: empty at end of stream, none on error.
std::optional<QByteArray> read(int fd, qsizetype max);
bool writeAll(int fd, const QByteArray& bytes);

} // namespace BridgeSocket

} // namespace velmora
