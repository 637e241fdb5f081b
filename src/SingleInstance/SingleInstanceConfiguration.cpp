#include "SingleInstanceConfiguration.h"

#include <QDir>

#include <cerrno>

namespace SingleInstance {

SingleInstanceConfiguration::SingleInstanceConfiguration(const QString& bundleIdentifier, SingleInstancePolicy policy,
                                                         SingleInstanceLockLocation lockLocation,
                                                         std::optional<QString> lockFileName,
                                                         std::optional<QString> activationSignalName)
    : m_bundleIdentifier(bundleIdentifier.isEmpty() ? defaultBundleIdentifier() : bundleIdentifier)
    , m_policy(std::move(policy))
    , m_lockLocation(std::move(lockLocation))
    , m_lockFileName(lockFileName.value_or(m_bundleIdentifier + QStringLiteral(".lock")))
    , m_activationSignalName(
          activationSignalName.value_or(m_bundleIdentifier + QStringLiteral(".single-instance.activate")))
{
}

QString SingleInstanceConfiguration::defaultBundleIdentifier(const std::optional<QString>& bundleIdentifier)
{
    if (bundleIdentifier && !bundleIdentifier->isEmpty())
        return *bundleIdentifier;
    return QString::fromLocal8Bit(program_invocation_short_name);
}

QString SingleInstanceConfiguration::lockPath() const
{
    return QDir::cleanPath(m_lockLocation.basePath() + QLatin1Char('/') + m_bundleIdentifier + QLatin1Char('/')
                           + m_lockFileName);
}

QString SingleInstanceConfiguration::duplicateLaunchRequestsPath() const
{
    const QString lock = lockPath();
    return lock.left(lock.lastIndexOf(QLatin1Char('/'))) + QStringLiteral("/DuplicateLaunchRequests");
}

} // namespace SingleInstance
