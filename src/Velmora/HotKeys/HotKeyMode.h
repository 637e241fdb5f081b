#pragma once

#include <QString>

namespace velmora {

enum class HotKeyMode { combination, doubleTap };

QString rawValue(HotKeyMode mode); // "combination", "doubleTap"
// Exactly "doubleTap" selects double-tap mode; anything else is a combination.
HotKeyMode hotKeyModeFromRawValue(const QString& text);

} // namespace velmora
