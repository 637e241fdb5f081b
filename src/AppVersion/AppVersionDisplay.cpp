#include "AppVersionDisplay.h"

#include <QDateTime>

namespace AppVersion::AppVersionDisplay {

std::optional<TimestampComponents> timestampComponents(const QString& buildVersion)
{
    const QByteArray bytes = buildVersion.toUtf8();
    if (bytes.size() != 14)
        return std::nullopt;
    for (const char c : bytes) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    const auto number = [&](int from, int length) { return bytes.mid(from, length).toInt(); };
    const TimestampComponents parsed{number(0, 4), number(4, 2), number(6, 2), number(8, 2), number(10, 2), number(12, 2)};
    // Month 13 or 30 February would roll over into another date; such a stamp is no date.
    const QDate date(parsed.year, parsed.month, parsed.day);
    const QTime time(parsed.hour, parsed.minute, parsed.second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return parsed;
}

QString formattedBuildVersion(const QString& buildVersion, const QTimeZone& timeZone)
{
    const auto stamp = timestampComponents(buildVersion);
    if (!stamp)
        return buildVersion;
    const QDateTime utc(QDate(stamp->year, stamp->month, stamp->day), QTime(stamp->hour, stamp->minute, stamp->second),
                        QTimeZone::utc());
    if (!utc.isValid())
        return buildVersion;
    // A fixed pattern, not the locale's: the same text in every language.
    return utc.toTimeZone(timeZone).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString label(const AppVersionInfo& info, const QTimeZone& timeZone)
{
    return QStringLiteral("Version %1 (%2)").arg(info.shortVersion, formattedBuildVersion(info.buildVersion, timeZone));
}

QString current(const velmora::platform::MainBundle& bundle)
{
    return AppVersionInfo::current(bundle).displayLabel();
}

QMap<QString, QString> standardAboutPanelOptions(const QString& applicationName, const AppVersionInfo& info,
                                                 const QTimeZone& timeZone)
{
    return {
        {QStringLiteral("applicationName"), applicationName},
        {QStringLiteral("applicationVersion"),
         QStringLiteral("%1 (%2)").arg(info.shortVersion, formattedBuildVersion(info.buildVersion, timeZone))},
        {QStringLiteral("version"), QString()},
    };
}

} // namespace AppVersion::AppVersionDisplay
