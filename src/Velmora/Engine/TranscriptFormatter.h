#pragma once

#include <QString>

namespace velmora {

namespace TranscriptFormatter {

// Joins transcript segments with one line feed; a blank side adds nothing.
QString appending(const QString& existing, const QString& newSegment);

} // namespace TranscriptFormatter

} // namespace velmora
