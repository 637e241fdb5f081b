#include "SocketSignal.h"

#include "Platform/LogCategories.h"

#include "PrivateFolder.h"
#include "PrivateTemporaryFolder.h"

#include <QFile>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>

namespace velmora::platform::SocketSignal {

namespace {

// Fills a path address; false when the path does not fit.
bool makeAddress(const QByteArray& path, sockaddr_un& address, socklen_t& length)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) + 1 > sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size()) + 1);
    return true;
}

// The folder that holds the sockets; the same for every copy of this user.
std::optional<QString> socketFolder()
{
    // The runtime folder first: it is the user's alone from login, so no one can take the name first.
    const auto folder = PrivateFolder::firstOf(PrivateTemporaryFolder::sharedFolders(PrivateTemporaryFolder::Order::runtimeFirst));
    if (const auto* path = std::get_if<QString>(&folder))
        return *path;
    return std::nullopt;
}

std::optional<QByteArray> nativePath(const QString& name)
{
    const auto path = socketPath(name);
    if (!path)
        return std::nullopt;
    return QFile::encodeName(*path);
}

} // namespace

std::optional<QString> socketPath(const QString& name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return std::nullopt;
    const auto folder = socketFolder();
    if (!folder)
        return std::nullopt;
    const QString path = *folder + QLatin1Char('/') + name + QStringLiteral(".socket");
    if (size_t(QFile::encodeName(path).size()) + 1 > sizeof(sockaddr_un::sun_path))
        return std::nullopt;
    return path;
}

static std::optional<uid_t> peerUser(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}

PostResult post(const QString& name, std::chrono::milliseconds patience, const std::function<bool(uid_t)>& acceptListener)
{
    sockaddr_un address{};
    socklen_t length = 0;
    const auto path = nativePath(name);
    if (!path || !makeAddress(*path, address, length))
        return PostResult::noListener;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return PostResult::noListener;
        const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
        const int error = errno;
        if (result == 0) {
            const auto listener = peerUser(fd);
            const bool trusted = listener && (acceptListener ? acceptListener(*listener) : *listener == ::getuid());
            if (!trusted) {
                ::close(fd);
                qCCritical(velmora::logging::singleInstance) << "refused to signal" << name << "- its listener belongs to user"
                                     << (listener ? qlonglong(*listener) : -1);
                return PostResult::refusedListener;
            }
            const char signal = '!';
            const bool sent = ::send(fd, &signal, 1, MSG_NOSIGNAL) == 1;
            ::close(fd);
            return sent ? PostResult::delivered : PostResult::noListener;
        }
        ::close(fd);
        // A full backlog answers EAGAIN instead of blocking: the listener is awake anyway.
        if (error != ECONNREFUSED && error != ENOENT)
            return PostResult::delivered;
        if (std::chrono::steady_clock::now() >= deadline) {
            qCDebug(velmora::logging::singleInstance) << "no listener for" << name;
            return PostResult::noListener;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::unique_ptr<Listener> Listener::start(const QString& name, std::function<void()> handler,
                                          std::function<bool(uid_t)> acceptPeer)
{
    sockaddr_un address{};
    socklen_t length = 0;
    const auto path = nativePath(name);
    if (!path || !makeAddress(*path, address, length)) {
        qCWarning(velmora::logging::singleInstance) << "no private folder for the duplicate-launch socket" << name;
        return nullptr;
    }
    const int listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd < 0)
        return nullptr;
    int bound = ::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), length);
    if (bound != 0 && errno == EADDRINUSE) {
        // Taken while someone answers on it; a socket nobody answers was left by a copy that died.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const bool answered = probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&address), length) == 0;
        const bool refused = !answered && errno == ECONNREFUSED;
        if (probe >= 0)
            ::close(probe);
        if (refused && ::unlink(path->constData()) == 0)
            bound = ::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), length);
        else
            errno = EADDRINUSE;
    }
    if (bound != 0 || ::listen(listenFd, 16) != 0) {
        qCWarning(velmora::logging::singleInstance) << "cannot listen for duplicate launches on" << *path << std::strerror(errno);
        ::close(listenFd);
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        ::close(listenFd);
        ::unlink(path->constData());
        return nullptr;
    }
    if (!acceptPeer)
        acceptPeer = [](uid_t uid) { return uid == ::getuid(); };
    std::unique_ptr<Listener> listener(
        new Listener(listenFd, wakeFd, QFile::decodeName(*path), std::move(handler), std::move(acceptPeer)));
    listener->m_thread = std::thread([raw = listener.get()] { raw->run(); });
    return listener;
}

Listener::Listener(int listenFd, int wakeFd, QString path, std::function<void()> handler,
                   std::function<bool(uid_t)> acceptPeer)
    : m_listenFd(listenFd)
    , m_wakeFd(wakeFd)
    , m_path(std::move(path))
    , m_handler(std::move(handler))
    , m_acceptPeer(std::move(acceptPeer))
{
}

Listener::~Listener()
{
    cancel();
}

void Listener::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    if (m_thread.joinable())
        m_thread.join();
    // The name goes with its listener; no one else can have bound it while this one listened.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_listenFd);
    ::close(m_wakeFd);
}

void Listener::run()
{
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            qCWarning(velmora::logging::singleInstance) << "duplicate-launch listener stopped:" << std::strerror(errno);
            return;
        }
        if (fds[1].revents != 0)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int peer = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0)
            continue;
        const auto user = peerUser(peer);
        if (!user || !m_acceptPeer(*user)) {
            ::close(peer);
            qCWarning(velmora::logging::singleInstance) << "ignored a duplicate-launch signal from another user";
            continue;
        }
        // The sender writes its byte once it has checked us; a connection without it is no signal.
        pollfd byte{peer, POLLIN, 0};
        char signal = 0;
        const bool signalled = ::poll(&byte, 1, 1000) == 1 && ::recv(peer, &signal, 1, MSG_DONTWAIT) == 1;
        ::close(peer);
        if (signalled)
            m_handler();
    }
}

} // namespace velmora::platform::SocketSignal
