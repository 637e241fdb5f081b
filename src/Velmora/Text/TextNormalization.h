#pragma once

#include <QString>

namespace velmora::TextNormalization {

// Lower case, with punctuation and white space trimmed from both ends: how a
// spoken phrase is compared with a known one ("Thank you." and "thank you").
QString comparable(const QString& text);

} // namespace velmora::TextNormalization
