#include "BuildVersionDisplay.h"

#include "AppVersion/AppVersionDisplay.h"

namespace AppUpdater {

BuildVersionDisplay::BuildVersionDisplay(QTimeZone timeZone)
    : m_timeZone(std::move(timeZone))
{
}

QString BuildVersionDisplay::readableBuild(const QString& build) const
{
    // The same reading as the popover's version label, so a build reads alike everywhere.
    return AppVersion::AppVersionDisplay::formattedBuildVersion(build, m_timeZone);
}

QString BuildVersionDisplay::displayVersion(const QString& displayVersion, const QString& build) const
{
    return displayVersion + QStringLiteral(" (") + readableBuild(build) + QLatin1Char(')');
}

} // namespace AppUpdater
