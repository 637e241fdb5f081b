#pragma once

#include <QJsonObject>
#include <QUrl>

#include <optional>

namespace AppUpdater {

// Where the feed is and the key its downloads are signed with, from the
// bundle's Info.json; none unless both are sound.
struct UpdateConfiguration {
    QUrl feedURL;
    QString publicKey; // the Base64 text as written

    bool operator==(const UpdateConfiguration&) const = default;

    // "SUFeedURL": https, a host, no user or password. "SUPublicEDKey": Base64 of exactly 32 bytes.
    static std::optional<UpdateConfiguration> fromInfo(const QJsonObject& info);
    static inline const QString notConfigured = QStringLiteral("Updates are not configured for this build.");
};

} // namespace AppUpdater
