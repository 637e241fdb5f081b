#pragma once

#include <QString>

namespace velmora {

enum class DictationMode { batch, stream };

QString rawValue(DictationMode mode);    // "batch", "stream"
QString displayName(DictationMode mode); // "Standard", "Live"
// Exactly "stream" is live; any other text is batch.
DictationMode dictationModeFromRawValue(const QString& text);

} // namespace velmora
