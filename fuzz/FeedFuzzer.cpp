// libFuzzer target: any bytes as the update feed, read as the updater reads it.
#include "AppUpdater/AppcastProbe.h"
#include "AppUpdater/ItemReader.h"
#include "AppUpdater/VersionComparator.h"

#include <cstddef>
#include <cstdint>

using namespace AppUpdater;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray feed = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto items = ItemReader::read(feed);
    const auto newest = AppcastProbe::newestItem(feed, SystemVersion::parse(QStringLiteral("2.36")));
    // What is offered is one of the items read, and none of the others on the same terms is newer.
    if (newest) {
        if (!items || !items->contains(*newest))
            __builtin_trap();
        for (const FeedItem& item : *items) {
            if (!item.channel && !item.minimumSystemVersion && item.version
                && VersionComparator::isNewer(*item.version, *newest->version))
                __builtin_trap();
        }
    }
    // The system version is read from text too: whatever the text, it must not crash.
    const SystemVersion system = SystemVersion::parse(QString::fromUtf8(feed.left(64)));
    (void)AppcastProbe::newestVersion(feed, system);
    return 0;
}
