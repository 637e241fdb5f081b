#include "HotKeyMode.h"

namespace velmora {

QString rawValue(HotKeyMode mode)
{
    return mode == HotKeyMode::doubleTap ? QStringLiteral("doubleTap") : QStringLiteral("combination");
}

HotKeyMode hotKeyModeFromRawValue(const QString& text)
{
    return text == QLatin1String("doubleTap") ? HotKeyMode::doubleTap : HotKeyMode::combination;
}

} // namespace velmora
