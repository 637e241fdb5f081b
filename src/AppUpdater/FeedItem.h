#pragma once

#include <QString>

#include <optional>

namespace AppUpdater {

// One item of the update feed, as far as choosing the newest version needs it.
struct FeedItem {
    std::optional<QString> version;
    std::optional<QString> minimumSystemVersion;
    std::optional<QString> channel;
    // What the engine offers and fetches.
    std::optional<QString> displayVersion; // sparkle:shortVersionString
    std::optional<QString> title;
    std::optional<QString> releaseNotes; // the item's description, shown as plain text
    std::optional<QString> enclosureURL;
    std::optional<qint64> enclosureLength;
    std::optional<QString> edSignature;

    bool operator==(const FeedItem&) const = default;
};

} // namespace AppUpdater
