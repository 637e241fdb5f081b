#pragma once

#include "Platform/SystemError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

namespace velmora::platform {

// A child program started without a shell: the arguments arrive exactly as
// given, the child inherits no descriptor but its three standard ones, starts
// with default signal handling, and is addressed through a pidfd so a signal
// can never reach a recycled process id.
class ChildProcess {
public:
    enum class Output { discard, pipe };

    struct Options {
        QString program;
        QStringList arguments;
        // Entries "NAME=value"; nullopt inherits the caller's environment.
        std::optional<QStringList> environment;
        Output standardOutput = Output::discard;
        Output standardError = Output::discard;
        // Runs at the background priority (nice 19) from its first instruction: it gets little of
        // the CPU while the user's work needs it.
        bool background = false;
    };

    // How a child ended: an exit code, or the signal that killed it. The two
    // are never one number, so "exited with 15" is not "killed by SIGTERM".
    struct ExitStatus {
        bool signalled = false;
        // The exit code, or the signal number when signalled.
        int code = 0;

        static ExitStatus exited(int code) { return {false, code}; }
        static ExitStatus killedBy(int signal) { return {true, signal}; }
        bool isSuccess() const { return !signalled && code == 0; }
        bool isKilledBy(int signal) const { return signalled && code == signal; }
        bool operator==(const ExitStatus&) const = default;
    };

    // Start failure: the error of the failing step.
    using SpawnResult = std::variant<std::unique_ptr<ChildProcess>, SystemError>;
    [[nodiscard]] static SpawnResult spawn(const Options& options);

    // Kills and reaps a child that was never waited for, without blocking the caller.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }
    // Readable when the child has ended; for event-loop watchers.
    int pidFd() const { return m_pidFd; }
    // -1 unless piped. The reader owns reading; the descriptor closes with this object.
    int standardOutputFd() const { return m_stdout; }
    int standardErrorFd() const { return m_stderr; }
    void closeStandardOutput();
    void closeStandardError();
    // Hands a piped descriptor over to the caller, who closes it.
    int takeStandardOutput() { return std::exchange(m_stdout, -1); }
    int takeStandardError() { return std::exchange(m_stderr, -1); }

    // Safe from any thread and after the child ended (then it does nothing).
    void signal(int number) const;
    void terminate() const;
    void kill() const;

    bool hasExited() const;
    // Blocks until the child ends, then reaps it. Idempotent.
    ExitStatus wait();
    // Reaps the child if it has ended; never blocks.
    std::optional<ExitStatus> tryWait();

    // Reads a descriptor to its end (blocking), for a child's piped output.
    static QByteArray readToEnd(int fd);
    // For a reader driven by an event loop: the descriptor never blocks again.
    static void makeNonBlocking(int fd);
    // Hands over whatever can be read now without blocking; false once the
    // output has ended (a broken pipe ends it just the same).
    static bool readAvailable(int fd, const std::function<void(const QByteArray&)>& onBytes);

private:
    ChildProcess(pid_t pid, int pidFd, int out, int err) : m_pid(pid), m_pidFd(pidFd), m_stdout(out), m_stderr(err) {}
    std::optional<ExitStatus> reap(bool block);

    pid_t m_pid;
    int m_pidFd;
    int m_stdout;
    int m_stderr;
    std::optional<ExitStatus> m_exit;
};

} // namespace velmora::platform
