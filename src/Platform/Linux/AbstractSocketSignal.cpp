#include "AbstractSocketSignal.h"

#include "Platform/LogCategories.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>

namespace velmora::platform::AbstractSocketSignal {

namespace {

// Fills an abstract address (leading NUL, no terminator); false when the name is too long.
bool makeAddress(const QByteArray& name, sockaddr_un& address, socklen_t& length)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || size_t(name.size()) + 1 > sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
    return true;
}

} // namespace

QByteArray addressName(const QString& name)
{
    return name.toUtf8() + '.' + QByteArray::number(::getuid());
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
    if (!makeAddress(addressName(name), address, length))
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
    if (!makeAddress(addressName(name), address, length)) {
        qCWarning(velmora::logging::singleInstance) << "signal name too long:" << name;
        return nullptr;
    }
    const int listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd < 0)
        return nullptr;
    if (::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(listenFd, 16) != 0) {
        qCWarning(velmora::logging::singleInstance) << "cannot listen for duplicate launches on" << name << std::strerror(errno);
        ::close(listenFd);
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        ::close(listenFd);
        return nullptr;
    }
    if (!acceptPeer)
        acceptPeer = [](uid_t uid) { return uid == ::getuid(); };
    std::unique_ptr<Listener> listener(new Listener(listenFd, wakeFd, std::move(handler), std::move(acceptPeer)));
    listener->m_thread = std::thread([raw = listener.get()] { raw->run(); });
    return listener;
}

Listener::Listener(int listenFd, int wakeFd, std::function<void()> handler, std::function<bool(uid_t)> acceptPeer)
    : m_listenFd(listenFd)
    , m_wakeFd(wakeFd)
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

} // namespace velmora::platform::AbstractSocketSignal
