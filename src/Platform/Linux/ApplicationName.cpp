#include "ApplicationName.h"

#include "XdgPaths.h"

#include <QFile>
#include <QHash>
#include <QMutex>

namespace velmora::platform::ApplicationName {

std::optional<QString> nameInDesktopEntry(const QByteArray& entry)
{
    bool inMainGroup = false;
    for (QByteArray line : entry.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup || !line.startsWith("Name"))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0 || line.left(equals).trimmed() != "Name")
            continue; // Name[de], GenericName and the like
        const QString name = QString::fromUtf8(line.mid(equals + 1)).trimmed();
        if (!name.isEmpty())
            return name;
    }
    return std::nullopt;
}

QStringList applicationFolders()
{
    QStringList folders{XdgPaths::dataHome() + QStringLiteral("/applications")};
    QString dirs = QString::fromLocal8Bit(qgetenv("XDG_DATA_DIRS"));
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (dir.startsWith(QLatin1Char('/')))
            folders << dir + QStringLiteral("/applications");
    }
    return folders;
}

QString of(const QString& identifier)
{
    if (identifier.isEmpty() || identifier.contains(QLatin1Char('/')))
        return identifier;
    static QMutex lock;
    static QHash<QString, QString> known;
    QMutexLocker locked(&lock);
    if (const auto found = known.constFind(identifier); found != known.cend())
        return *found;
    const auto lookUp = [&]() -> QString {
        QStringList candidates{identifier};
        if (identifier.toLower() != identifier)
            candidates << identifier.toLower();
        for (const QString& folder : applicationFolders()) {
            for (const QString& candidate : candidates) {
                QFile file(folder + QLatin1Char('/') + candidate + QStringLiteral(".desktop"));
                // An entry is a few kilobytes; a larger file is no entry to read.
                if (!file.open(QIODevice::ReadOnly) || file.size() > 256 * 1024)
                    continue;
                if (const auto entryName = nameInDesktopEntry(file.readAll()))
                    return *entryName;
            }
        }
        return identifier;
    };
    const QString name = lookUp();
    // Windows name their class themselves: a program making up new ones must not grow this without end.
    if (known.size() >= 512)
        known.clear();
    known.insert(identifier, name);
    return name;
}

} // namespace velmora::platform::ApplicationName
