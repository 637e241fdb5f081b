#pragma once

#include "AppVersionInfo.h"

#include <QMap>
#include <QTimeZone>

#include <optional>

namespace AppVersion {

// "Version 1.4 (2025-03-07 14:05:09)": a fourteen-digit build number is a UTC
// build stamp shown in local time; any other build number is shown as it is.
namespace AppVersionDisplay {

struct TimestampComponents {
    int year, month, day, hour, minute, second;
    bool operator==(const TimestampComponents&) const = default;
};

// Exactly fourteen ASCII digits naming a real UTC date and time.
std::optional<TimestampComponents> timestampComponents(const QString& buildVersion);
QString formattedBuildVersion(const QString& buildVersion, const QTimeZone& timeZone);
QString label(const AppVersionInfo& info, const QTimeZone& timeZone);
QString current(const velmora::platform::MainBundle& bundle);

// The values an About dialog shows: the name, the version with its readable build,
// and an empty raw version so the build is not shown twice.
QMap<QString, QString> standardAboutPanelOptions(const QString& applicationName, const AppVersionInfo& info,
                                                 const QTimeZone& timeZone);

} // namespace AppVersionDisplay

} // namespace AppVersion
