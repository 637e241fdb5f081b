#pragma once

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>

// Failures show Qt's texts as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace velmora::test {

QString velmoraExecutable();
QString bundleDir();
// The tiny whisper model made at build time (fixed-seed weights: the real tools load and run it).
QString testModel();

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes, int mode = 0644);

struct ProcessResult {
    int exitCode = -1;
    bool crashed = false;
    bool timedOut = false;
    QByteArray standardOutput;
    QByteArray standardError;
};

// Runs a program to its end (or kills it after the limit) without a shell.
ProcessResult runProcess(const QString& program, const QStringList& arguments,
                         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                         std::chrono::milliseconds limit = std::chrono::seconds(30));

// This machine's processes running `executable` (links resolved), by pid.
QList<qint64> processesRunning(const QString& executable);

// An executable shell script (a stand-in for a tool) with the given body after "#!/bin/sh".
QString writeScript(const QString& path, const QByteArray& body);
// A bundle's Resources/Info.json, read and changed (written anew, so a copy made with links stays apart).
QJsonObject bundleInfo(const QString& bundle);
void editBundleInfo(const QString& bundle, const std::function<void(QJsonObject&)>& edit);
// A copy of the build's bundle at `installed`, it and its folder writable by nobody but
// this user whatever the umask, as a copy that updates itself must be.
[[nodiscard]] bool installBundleCopy(const QString& installed);

// Processes whose parent is this process (zombies included).
QList<int> childProcesses();
// Entries of /proc/self/fd.
int openDescriptorCount();

// Spins the event loop until the condition holds or the limit passes.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(5));

} // namespace velmora::test
