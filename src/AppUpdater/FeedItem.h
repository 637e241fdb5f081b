#pragma once

#include <QString>

#include <optional>

namespace AppUpdater {

// One item of the update feed, as far as choosing the newest version needs it.
struct FeedItem {
    std::optional<QString> version;
    std::optional<QString> minimumSystemVersion;
    std::optional<QString> channel;

    bool operator==(const FeedItem&) const = default;
};

} // namespace AppUpdater
