#include "ChildProcess.h"

#include "BackgroundThread.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
// glibc 2.36 declares these without C linkage for C++.
extern "C" {
#include <sys/pidfd.h>
}
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

extern char** environ;

namespace velmora::platform {

namespace {

void closeIfOpen(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

ChildProcess::SpawnResult ChildProcess::spawn(const Options& options)
{
    const QByteArray program = options.program.toLocal8Bit();
    std::vector<QByteArray> argumentBytes{program};
    for (const QString& argument : options.arguments)
        argumentBytes.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& bytes : argumentBytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);

    std::vector<QByteArray> environmentBytes;
    std::vector<char*> envp;
    if (options.environment) {
        for (const QString& entry : *options.environment)
            environmentBytes.push_back(entry.toLocal8Bit());
        for (QByteArray& bytes : environmentBytes)
            envp.push_back(bytes.data());
        envp.push_back(nullptr);
    }

    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    const auto cleanup = [&] {
        for (int* fd : {&outPipe[0], &outPipe[1], &errPipe[0], &errPipe[1]})
            closeIfOpen(*fd);
    };
    if ((options.standardOutput == Output::pipe && ::pipe2(outPipe, O_CLOEXEC) != 0)
        || (options.standardError == Output::pipe && ::pipe2(errPipe, O_CLOEXEC) != 0)) {
        const int error = errno;
        cleanup();
        return SystemError(error);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (outPipe[1] >= 0)
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (errPipe[1] >= 0)
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Whatever the parent has open without O_CLOEXEC stays with the parent.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    const auto spawnNow = [&] {
        return ::posix_spawn(&pid, program.constData(), &actions, &attributes, argv.data(),
                             options.environment ? envp.data() : environ);
    };
    int error = 0;
    if (options.background) {
        // The spawn attributes cannot lower a priority, but a child inherits its spawning thread's:
        // spawn from a short-lived thread at the background priority, so the caller keeps its own.
        std::thread backgroundSpawner([&] {
            BackgroundThread::lowerCurrentThreadPriority();
            error = spawnNow();
        });
        backgroundSpawner.join();
    } else {
        error = spawnNow();
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    closeIfOpen(outPipe[1]);
    closeIfOpen(errPipe[1]);
    if (error != 0) {
        cleanup();
        return SystemError(error);
    }

    // The child cannot be reaped before this: only we wait for it, so its pid is still its own.
    const int pidFd = ::pidfd_open(pid, 0);
    if (pidFd < 0) {
        const int pidError = errno;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        cleanup();
        return SystemError(pidError);
    }
    ::fcntl(pidFd, F_SETFD, FD_CLOEXEC);
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid, pidFd, outPipe[0], errPipe[0]));
}

ChildProcess::~ChildProcess()
{
    closeStandardOutput();
    closeStandardError();
    if (!m_exit && !tryWait()) {
        kill();
        // SIGKILL ends it promptly, but not always at once (a child in
        // uninterruptible I/O); reap it elsewhere so no caller ever waits.
        std::thread([pidFd = m_pidFd] {
            siginfo_t info{};
            while (::waitid(P_PIDFD, id_t(pidFd), &info, WEXITED) != 0 && errno == EINTR) {
            }
            ::close(pidFd);
        }).detach();
        return;
    }
    ::close(m_pidFd);
}

void ChildProcess::closeStandardOutput()
{
    closeIfOpen(m_stdout);
}

void ChildProcess::closeStandardError()
{
    closeIfOpen(m_stderr);
}

void ChildProcess::signal(int number) const
{
    ::pidfd_send_signal(m_pidFd, number, nullptr, 0);
}

void ChildProcess::terminate() const
{
    signal(SIGTERM);
}

void ChildProcess::kill() const
{
    signal(SIGKILL);
}

bool ChildProcess::hasExited() const
{
    if (m_exit)
        return true;
    pollfd fd{m_pidFd, POLLIN, 0};
    return ::poll(&fd, 1, 0) == 1;
}

std::optional<ChildProcess::ExitStatus> ChildProcess::reap(bool block)
{
    if (m_exit)
        return m_exit;
    siginfo_t info{};
    for (;;) {
        const int result = ::waitid(P_PIDFD, id_t(m_pidFd), &info, WEXITED | (block ? 0 : WNOHANG));
        if (result == 0)
            break;
        if (errno == EINTR)
            continue;
        // Already reaped elsewhere (it cannot be, but never spin): report it as gone.
        m_exit = ExitStatus::killedBy(SIGKILL);
        return m_exit;
    }
    if (info.si_pid == 0)
        return std::nullopt;
    if (info.si_code == CLD_EXITED)
        m_exit = ExitStatus::exited(info.si_status);
    else
        m_exit = ExitStatus::killedBy(info.si_status);
    return m_exit;
}

ChildProcess::ExitStatus ChildProcess::wait()
{
    return *reap(true);
}

std::optional<ChildProcess::ExitStatus> ChildProcess::tryWait()
{
    return reap(false);
}

void ChildProcess::makeNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

bool ChildProcess::readAvailable(int fd, const std::function<void(const QByteArray&)>& onBytes)
{
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            onBytes(QByteArray(buffer, n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return n < 0 && errno == EAGAIN;
    }
}

QByteArray ChildProcess::readToEnd(int fd)
{
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd wait{fd, POLLIN, 0};
            ::poll(&wait, 1, -1);
            continue;
        }
        return bytes;
    }
}

} // namespace velmora::platform
