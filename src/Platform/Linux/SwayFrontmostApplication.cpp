#include "SwayFrontmostApplication.h"

#include "ApplicationName.h"

#include "FileDescriptor.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace velmora::platform {
namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::uint32_t getTree = 4;
constexpr std::uint32_t largestReply = 32 * 1024 * 1024;

// Waits at most until `deadline` for the socket, so a compositor that stopped answering costs little.
bool transfer(int fd, char* data, size_t size, bool sending, const QDeadlineTimer& deadline)
{
    for (size_t done = 0; done < size;) {
        pollfd ready{fd, short(sending ? POLLOUT : POLLIN), 0};
        if (::poll(&ready, 1, int(std::max<qint64>(deadline.remainingTime(), 0))) <= 0)
            return false;
        const ssize_t moved = sending ? ::send(fd, data + done, size - done, MSG_NOSIGNAL)
                                      : ::recv(fd, data + done, size - done, 0);
        if (moved < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (moved <= 0)
            return false;
        done += size_t(moved);
    }
    return true;
}

std::optional<FrontmostApplication> describe(const QJsonObject& node)
{
    FrontmostApplication application;
    application.window = std::uint32_t(node.value(QStringLiteral("id")).toInteger());
    if (const auto pid = node.value(QStringLiteral("pid")).toInteger(); pid > 0)
        application.processId = qint32(pid);
    // A Wayland window names its application by app_id; an XWayland one by its WM_CLASS.
    const QJsonObject x11 = node.value(QStringLiteral("window_properties")).toObject();
    if (const QString appId = node.value(QStringLiteral("app_id")).toString(); !appId.isEmpty()) {
        application.identifier = appId;
        application.instance = appId;
    } else if (!x11.isEmpty()) {
        if (const QString klass = x11.value(QStringLiteral("class")).toString(); !klass.isEmpty())
            application.identifier = klass;
        if (const QString instance = x11.value(QStringLiteral("instance")).toString(); !instance.isEmpty())
            application.instance = instance;
    }
    if (application.identifier)
        application.name = ApplicationName::of(*application.identifier);
    return application;
}

std::optional<FrontmostApplication> find(const QJsonObject& node)
{
    if (node.value(QStringLiteral("focused")).toBool()) {
        // A focused workspace or output holds no window.
        const QString type = node.value(QStringLiteral("type")).toString();
        if (type != QLatin1String("con") && type != QLatin1String("floating_con"))
            return std::nullopt;
        return describe(node);
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(children)).toArray())
            if (auto found = find(child.toObject()))
                return found;
    }
    return std::nullopt;
}

} // namespace

SwayFrontmostApplication::SwayFrontmostApplication(QString socketPath)
    : m_socketPath(std::move(socketPath))
{
}

std::optional<FrontmostApplication> SwayFrontmostApplication::focusedIn(const QByteArray& tree)
{
    return find(QJsonDocument::fromJson(tree).object());
}

std::optional<FrontmostApplication> SwayFrontmostApplication::current()
{
    const QByteArray path = m_socketPath.toLocal8Bit();
    sockaddr_un address{};
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.get() < 0 || ::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return std::nullopt;
    const QDeadlineTimer deadline(500);
    char header[14];
    std::memcpy(header, magic, 6);
    const std::uint32_t request[2] = {0, getTree};
    std::memcpy(header + 6, request, 8);
    if (!transfer(socket.get(), header, sizeof header, true, deadline)
        || !transfer(socket.get(), header, sizeof header, false, deadline) || std::memcmp(header, magic, 6) != 0)
        return std::nullopt;
    std::uint32_t reply[2];
    std::memcpy(reply, header + 6, 8);
    if (reply[1] != getTree || reply[0] > largestReply)
        return std::nullopt;
    QByteArray tree(static_cast<qsizetype>(reply[0]), Qt::Uninitialized);
    if (!transfer(socket.get(), tree.data(), size_t(tree.size()), false, deadline))
        return std::nullopt;
    return focusedIn(tree);
}

} // namespace velmora::platform
