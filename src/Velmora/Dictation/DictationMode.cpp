#include "DictationMode.h"

namespace velmora {

QString rawValue(DictationMode mode)
{
    return mode == DictationMode::stream ? QStringLiteral("stream") : QStringLiteral("batch");
}

QString displayName(DictationMode mode)
{
    return mode == DictationMode::stream ? QStringLiteral("Live") : QStringLiteral("Standard");
}

DictationMode dictationModeFromRawValue(const QString& text)
{
    return text == QLatin1String("stream") ? DictationMode::stream : DictationMode::batch;
}

} // namespace velmora
