#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace SingleInstance {

// What a second launch hands over to the running copy.
struct DuplicateLaunchRequest {
    QStringList arguments;
    QList<QUrl> fileURLs;
    QDateTime createdAt;

    bool isEmpty() const { return arguments.isEmpty() && fileURLs.isEmpty(); }
    bool operator==(const DuplicateLaunchRequest&) const = default;

    // {"arguments": [...], "fileURLs": ["file:///..."], "createdAt": "2025-01-31T12:00:00Z"}
    QByteArray toJson() const;
    static std::optional<DuplicateLaunchRequest> fromJson(const QByteArray& json);
};

} // namespace SingleInstance
