// libFuzzer target: three version texts, whose order must be a real order.
#include "AppUpdater/VersionComparator.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

using AppUpdater::VersionComparator::compare;
using Order = AppUpdater::VersionComparator::Order;

namespace {
Order reversed(Order order)
{
    return order == Order::ascending ? Order::descending : order == Order::descending ? Order::ascending : Order::same;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList texts = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(QLatin1Char('\n'));
    if (texts.size() < 3)
        return 0;
    const QString& a = texts[0];
    const QString& b = texts[1];
    const QString& c = texts[2];
    if (compare(a, a) != Order::same)
        __builtin_trap();
    const Order ab = compare(a, b);
    const Order bc = compare(b, c);
    if (compare(b, a) != reversed(ab))
        __builtin_trap();
    // Transitive: a sorted list of versions must never depend on the order it was given in.
    if (ab == bc && compare(a, c) != ab)
        __builtin_trap();
    return 0;
}
