#pragma once

#include "Platform/Linux/MainBundle.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace AppVersion {

// The version a bundle says it has, from its Resources/Info.json.
struct AppVersionInfo {
    QString shortVersion = QStringLiteral("0");
    QString buildVersion = QStringLiteral("0");
    std::optional<QDateTime> buildDate; // the executable's modification time

    bool operator==(const AppVersionInfo&) const = default;

    // Missing or non-text keys read as "0"; an unreadable file as a bundle without keys.
    static AppVersionInfo current(const velmora::platform::MainBundle& bundle);
    // The information file's own parse, apart from the file system.
    static AppVersionInfo fromInfo(const QByteArray& infoJson, std::optional<QDateTime> buildDate);

    // For the local time zone.
    QString displayLabel() const;
};

} // namespace AppVersion
