#include "XdgPaths.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace velmora::platform::XdgPaths {

namespace {

QString environmentPath(const char* name)
{
    const char* value = std::getenv(name);
    return value ? QString::fromLocal8Bit(value) : QString();
}

// The XDG rules ignore relative values.
QString baseFolder(const char* variable, const char* fallbackBelowHome)
{
    const QString value = environmentPath(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(home() + QLatin1Char('/') + QLatin1String(fallbackBelowHome));
}

} // namespace

QString home()
{
    const QString value = environmentPath("HOME");
    if (!value.isEmpty())
        return QDir::cleanPath(value);
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return QDir::cleanPath(QString::fromLocal8Bit(entry->pw_dir));
    return QStringLiteral("/");
}

QString dataHome() { return baseFolder("XDG_DATA_HOME", ".local/share"); }
QString configHome() { return baseFolder("XDG_CONFIG_HOME", ".config"); }
QString stateHome() { return baseFolder("XDG_STATE_HOME", ".local/state"); }
QString cacheHome() { return baseFolder("XDG_CACHE_HOME", ".cache"); }

QString privateTemporaryFolder()
{
    QString base = environmentPath("TMPDIR");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QStringLiteral("/tmp");
    return QDir::cleanPath(base) + QStringLiteral("/velmora-") + QString::number(::getuid());
}

} // namespace velmora::platform::XdgPaths
