#pragma once

#include "FeedItem.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace AppUpdater {

struct SystemVersion {
    int major = 0, minor = 0, patch = 0;
    // The C library's version, which decides whether a build runs here ("2.36" as 2.36.0).
    static SystemVersion current();
    static SystemVersion parse(const QString& text);
};

// The newest version the feed offers this system: items on a named channel and
// items that need a newer system are left out; of equal versions the first wins.
namespace AppcastProbe {

std::optional<QString> newestVersion(const QByteArray& feed, const SystemVersion& system);
// The same choice, as the whole item, for the engine that offers and fetches it.
std::optional<FeedItem> newestItem(const QByteArray& feed, const SystemVersion& system);

} // namespace AppcastProbe

} // namespace AppUpdater
