#include "TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <sys/stat.h>

namespace velmora::test {

QString velmoraExecutable() { return QStringLiteral(VELMORA_EXECUTABLE); }
QString bundleDir() { return QStringLiteral(VELMORA_BUNDLE_DIR); }
QString testModel() { return QStringLiteral(VELMORA_TEST_MODEL); }

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes, int mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    file.close();
    ::chmod(path.toLocal8Bit().constData(), mode_t(mode));
}

ProcessResult runProcess(const QString& program, const QStringList& arguments,
                         const QProcessEnvironment& environment, std::chrono::milliseconds limit)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProcessResult result;
    if (!process.waitForStarted(10000))
        return result;
    process.closeWriteChannel();
    if (!process.waitForFinished(int(limit.count()))) {
        result.timedOut = true;
        process.kill();
        process.waitForFinished(5000);
    }
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    return result;
}

QString writeScript(const QString& path, const QByteArray& body)
{
    writeFile(path, "#!/bin/sh\n" + body, 0755);
    return path;
}

QList<int> childProcesses()
{
    QList<int> children;
    const QString self = QString::number(QCoreApplication::applicationPid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        entry.toInt(&numeric);
        if (!numeric)
            continue;
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(entry));
        // pid (comm) state ppid ...: the name may hold spaces, so read after the last ')'.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1) == self.toLatin1())
            children << entry.toInt();
    }
    return children;
}

int openDescriptorCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    QDeadlineTimer deadline(limit);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

QList<qint64> processesRunning(const QString& executable)
{
    QList<qint64> pids;
    const QString wanted = QFileInfo(executable).canonicalFilePath();
    if (wanted.isEmpty())
        return pids;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number && QFileInfo(QStringLiteral("/proc/") + entry + QStringLiteral("/exe")).symLinkTarget() == wanted)
            pids.append(pid);
    }
    return pids;
}

QJsonObject bundleInfo(const QString& bundle)
{
    return QJsonDocument::fromJson(readFile(bundle + "/Resources/Info.json")).object();
}

void editBundleInfo(const QString& bundle, const std::function<void(QJsonObject&)>& edit)
{
    QJsonObject info = bundleInfo(bundle);
    edit(info);
    QFile::remove(bundle + "/Resources/Info.json");
    writeFile(bundle + "/Resources/Info.json", QJsonDocument(info).toJson());
}

bool installBundleCopy(const QString& installed)
{
    const QString parent = QFileInfo(installed).absolutePath();
    if (!QDir().mkpath(parent) || runProcess("cp", {"-a", bundleDir(), installed}).exitCode != 0)
        return false;
    return ::chmod(QFile::encodeName(parent).constData(), 0755) == 0
           && ::chmod(QFile::encodeName(installed).constData(), 0755) == 0;
}

} // namespace velmora::test
