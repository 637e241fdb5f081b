#include "TranscriptFormatter.h"

namespace velmora::TranscriptFormatter {

QString appending(const QString& existing, const QString& newSegment)
{
    const QString before = existing.trimmed();
    const QString segment = newSegment.trimmed();
    if (segment.isEmpty())
        return before;
    if (before.isEmpty())
        return segment;
    return before + QLatin1Char('\n') + segment;
}

} // namespace velmora::TranscriptFormatter
