#pragma once

#include "HotKeyCore/HotKeySettingsStore.h"

namespace velmora {

// Velmora's hot key: "velmora.hotKeyEnabled", "velmora.hotKeyCode",
// "velmora.hotKeyModifiers" and "velmora.hotKeyCharacter" in the given domain.
HotKeyCore::HotKeySettingsStore standardHotKeySettingsStore(platform::PreferencesStore& defaults);

// The signature text of Velmora's hot-key identity.
inline const QString hotKeySignature = QStringLiteral("VLHR");

} // namespace velmora
