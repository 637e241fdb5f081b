#include "UpdateInstaller.h"

#include "Platform/LogCategories.h"

#include "Platform/Linux/ArchiveExtractor.h"
#include "Platform/Linux/FolderAccess.h"
#include "Platform/Linux/FolderExchange.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QUuid>

namespace AppUpdater {

QString UpdateInstallError::description() const
{
    switch (kind) {
    case Kind::notReplaceable:
        return detail;
    case Kind::unpackFailed:
        return detail;
    case Kind::incompleteBundle:
        return QStringLiteral("The update is incomplete (%1 is missing); it was not installed.").arg(detail);
    case Kind::bundleDoesNotRun:
        return QStringLiteral("The new version did not start on this computer; it was not installed. ") + detail;
    case Kind::swapFailed:
        return QStringLiteral("The new version could not be put in place: ") + detail;
    }
    return detail;
}

namespace {

const char* const requiredFiles[] = {
    "bin/velmora",
    "Resources/Info.json",
    "Resources/WhisperRuntime/bin/whisper-cli",
    "Resources/WhisperRuntime/bin/whisper-stream",
};

bool isWritableFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

// This user can write the bundle and the folder the swap happens in.
bool canWrite(const QString& installedBundle)
{
    return isWritableFolder(installedBundle) && isWritableFolder(QFileInfo(installedBundle).absolutePath());
}

// The first of the bundle and its folder that someone else may change.
std::optional<QString> openToOthers(const QString& installedBundle)
{
    for (const QString& path : {QFileInfo(installedBundle).absolutePath(), installedBundle}) {
        if (QFileInfo::exists(path) && !velmora::platform::FolderAccess::isOnlyOurs(path))
            return path;
    }
    return std::nullopt;
}

bool processRuns(qint64 pid)
{
    return QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

} // namespace

bool UpdateInstaller::canReplace(const QString& installedBundle)
{
    return canWrite(installedBundle) && !openToOthers(installedBundle);
}

QString UpdateInstaller::replacementNote(const QString& installedBundle)
{
    if (canWrite(installedBundle)) {
        if (const auto open = openToOthers(installedBundle))
            return QStringLiteral("Velmora does not update itself in %1: others can write to %2 and could swap the "
                                  "update for a program of theirs. Make %2 yours and writable only by you "
                                  "(chmod go-w), or install the update yourself.")
                .arg(installedBundle, *open);
    }
    if (installedBundle.startsWith(QLatin1String("/opt/")))
        return QStringLiteral("Velmora in %1 belongs to the system: install the update with your package manager "
                              "(sudo apt install ./velmora_<version>_amd64.deb) or ask an administrator.")
            .arg(installedBundle);
    return QStringLiteral("Velmora cannot write to %1: ask an administrator to install the update.").arg(installedBundle);
}

std::variant<QString, UpdateInstallError> UpdateInstaller::stage(const QString& archivePath,
                                                                 const QString& installedBundle)
{
    const auto archive = velmora::platform::FolderAccess::openFile(archivePath);
    if (!archive)
        return UpdateInstallError{UpdateInstallError::Kind::unpackFailed,
                                  QStringLiteral("The update archive could not be read: ")
                                      + velmora::platform::SystemError::last().description()};
    return stage(archive.get(), installedBundle);
}

std::variant<QString, UpdateInstallError> UpdateInstaller::stage(int archiveDescriptor, const QString& installedBundle)
{
    if (!canReplace(installedBundle))
        return UpdateInstallError{UpdateInstallError::Kind::notReplaceable, replacementNote(installedBundle)};
    // Beside the installed copy: the same file system, so the swap is one rename.
    const QString staging = QFileInfo(installedBundle).absolutePath() + QLatin1Char('/') + stagingPrefix
                            + QUuid::createUuid().toString(QUuid::Id128);
    if (!QDir().mkdir(staging))
        return UpdateInstallError{UpdateInstallError::Kind::unpackFailed,
                                  QStringLiteral("The update could not be unpacked: no room for a staging folder.")};
    const auto fail = [&](UpdateInstallError error) -> std::variant<QString, UpdateInstallError> {
        QDir(staging).removeRecursively();
        return error;
    };
    const auto unpacked = velmora::platform::ArchiveExtractor::extract(archiveDescriptor, staging, QStringLiteral("Velmora"));
    if (const auto* error = std::get_if<velmora::platform::ArchiveExtractionError>(&unpacked))
        return fail({UpdateInstallError::Kind::unpackFailed, error->description()});
    const QString bundle = std::get<QString>(unpacked);
    for (const char* file : requiredFiles) {
        if (!QFileInfo::exists(bundle + QLatin1Char('/') + QLatin1String(file)))
            return fail({UpdateInstallError::Kind::incompleteBundle, QLatin1String(file)});
    }
    // It must start here, and find itself where it was unpacked.
    QProcess probe;
    probe.start(bundle + QStringLiteral("/bin/velmora"), {QStringLiteral("--dump-runtime")});
    const bool finished = probe.waitForFinished(15000);
    const QByteArray report = probe.readAllStandardOutput();
    if (!finished || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0
        || !report.contains(("bundleURL=" + QFileInfo(bundle).canonicalFilePath()).toUtf8())) {
        qCWarning(velmora::logging::updates, "The unpacked copy did not run: %s, exit %d, said \"%s\"",
                  finished ? "ended" : "still running after 15 s", probe.exitCode(), report.left(400).constData());
        probe.kill();
        probe.waitForFinished(1000);
        return fail({UpdateInstallError::Kind::bundleDoesNotRun, QString::fromLocal8Bit(probe.readAllStandardError()).trimmed()});
    }
    return bundle;
}

int UpdateInstaller::finish(qint64 oldPid, const QString& stagedBundle, const QString& installedBundle,
                            std::chrono::milliseconds patience)
{
    const QString staging = QFileInfo(stagedBundle).absolutePath();
    const QString parent = QFileInfo(installedBundle).absolutePath();
    // Held from before the wait: the swap happens in this folder, whatever is renamed around it meanwhile.
    const auto folder = velmora::platform::FolderAccess::open(parent);
    const auto stillOnlyOurs = [&] { return velmora::platform::FolderAccess::isOnlyOurs(folder); };
    if (!stillOnlyOurs() || QFileInfo(staging).absolutePath() != parent) {
        QDir(staging).removeRecursively();
        return 4;
    }
    // The old copy holds the instance lock: the new one starts only once it has gone.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (oldPid > 0 && processRuns(oldPid)) {
        if (std::chrono::steady_clock::now() > deadline) {
            // It did not quit (a dictation began): nothing has been swapped.
            QDir(staging).removeRecursively();
            return 3;
        }
        QThread::msleep(50);
    }
    const QString stagedName = QFileInfo(staging).fileName() + QLatin1Char('/') + QFileInfo(stagedBundle).fileName();
    if (!stillOnlyOurs()
        || velmora::platform::FolderExchange::exchangeIn(folder.get(), stagedName, QFileInfo(installedBundle).fileName())) {
        QDir(staging).removeRecursively();
        QProcess::startDetached(installedBundle + QStringLiteral("/bin/velmora"), {});
        return 4;
    }
    // Now the staging folder holds the old copy; it goes once the new one has started.
    const bool started = QProcess::startDetached(installedBundle + QStringLiteral("/bin/velmora"), {});
    QDir(staging).removeRecursively();
    return started ? 0 : 5;
}

void UpdateInstaller::removeLeftovers(const QString& installedBundle)
{
    const QDir parent(QFileInfo(installedBundle).absolutePath());
    for (const QFileInfo& left : parent.entryInfoList({stagingPrefix + QLatin1Char('*')},
                                                       QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (left.isDir() && !left.isSymLink())
            QDir(left.filePath()).removeRecursively();
        else
            QFile::remove(left.filePath());
    }
}

} // namespace AppUpdater
