#include "AppcastProbe.h"

#include "ItemReader.h"
#include "VersionComparator.h"

#include "Platform/SystemInformation.h"

#include <QStringList>

#include <tuple>

namespace AppUpdater {

SystemVersion SystemVersion::parse(const QString& text)
{
    QList<int> numbers;
    for (const QString& piece : text.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int value = piece.toInt(&ok, 10);
        numbers.append(ok ? value : 0);
    }
    numbers << 0 << 0 << 0;
    return {numbers[0], numbers[1], numbers[2]};
}

SystemVersion SystemVersion::current()
{
    return parse(velmora::platform::SystemInformation::cLibraryVersion());
}

std::optional<FeedItem> AppcastProbe::newestItem(const QByteArray& feed, const SystemVersion& system)
{
    const auto items = ItemReader::read(feed);
    if (!items)
        return std::nullopt;
    std::optional<FeedItem> best;
    for (const FeedItem& item : *items) {
        if (item.channel || !item.version)
            continue;
        if (item.minimumSystemVersion) {
            const SystemVersion needed = SystemVersion::parse(*item.minimumSystemVersion);
            if (std::tie(system.major, system.minor, system.patch) < std::tie(needed.major, needed.minor, needed.patch))
                continue;
        }
        if (!best || VersionComparator::isNewer(*item.version, *best->version))
            best = item;
    }
    return best;
}

std::optional<QString> AppcastProbe::newestVersion(const QByteArray& feed, const SystemVersion& system)
{
    const auto item = newestItem(feed, system);
    return item ? item->version : std::nullopt;
}

} // namespace AppUpdater
