#pragma once

#include "FeedItem.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace AppUpdater {

// Reads the feed's items in document order with an event-driven XML reader.
// The version comes from the item's own "sparkle:version" element, else from
// its enclosure's "sparkle:version" attribute; names are matched as written.
namespace ItemReader {

// None when the feed is not well-formed XML.
std::optional<QList<FeedItem>> read(const QByteArray& feed);

} // namespace ItemReader

} // namespace AppUpdater
