#include "PrivateTemporaryFolder.h"

#include "PrivateFolder.h"
#include "XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QMutex>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace velmora::platform::PrivateTemporaryFolder {

QString path()
{
    return XdgPaths::privateTemporaryFolder();
}

namespace {

// A real folder of this user that no one else may enter.
bool isPrivate(const QString& folder)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode)
           && info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
}

} // namespace

std::optional<QString> runtimeFolder()
{
    const QString folder = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return std::nullopt;
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::geteuid() || (info.st_mode & 0077) != 0)
        return std::nullopt;
    return QDir::cleanPath(folder);
}

QStringList sharedFolders(Order order)
{
    QStringList folders{path()};
    if (const auto runtime = runtimeFolder())
        folders.insert(order == Order::runtimeFirst ? 0 : 1, *runtime + QStringLiteral("/velmora"));
    return folders;
}

std::variant<QString, SystemError> ensure()
{
    const auto usual = PrivateFolder::firstOf(sharedFolders(Order::temporaryFirst));
    if (std::holds_alternative<QString>(usual))
        return usual;
    // One fresh folder for the process; a new one if a cleaner took it (never made again by name).
    static QMutex lock;
    static QString fresh;
    QMutexLocker locked(&lock);
    const QString prefix = path() + QStringLiteral("-");
    if (fresh.startsWith(prefix) && isPrivate(fresh))
        return fresh;
    QByteArray pattern = QFile::encodeName(prefix + QStringLiteral("XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr)
        return usual;
    fresh = QFile::decodeName(pattern);
    return fresh;
}

} // namespace velmora::platform::PrivateTemporaryFolder
