#pragma once

#include <QString>

namespace AppUpdater {

// How two version texts are ordered, the one place that says so:
// - a text is read as a run of parts: numbers, periods, and words (anything else);
// - parts of the same kind compare as numbers ("1.10" after "1.9") or as text;
// - where the kinds differ, a number or a period beats a word, and a number beats a period,
//   so a pre-release word comes before the release ("1.0b1" before "1.0", "1.0 beta" before "1.0.1");
// - when one text runs out, the longer is newer if it goes on with a number ("1.0.1" after "1.0"),
//   older if it goes on with a word ("1.0b" before "1.0"), a period being judged by what follows it.
namespace VersionComparator {

enum class Order { ascending, same, descending }; // descending: the first is the newer

Order compare(const QString& first, const QString& second);
inline bool isNewer(const QString& candidate, const QString& than)
{
    return compare(candidate, than) == Order::descending;
}

} // namespace VersionComparator

} // namespace AppUpdater
