#pragma once

#include "FeedItem.h"

#include <QString>

#include <optional>

namespace AppUpdater {

// What the offer window shows: the item, and for a copy that cannot replace
// itself a note on how to update it instead.
struct UpdateOffer {
    FeedItem item;
    std::optional<QString> note;
};

} // namespace AppUpdater
