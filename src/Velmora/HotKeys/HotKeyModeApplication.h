#pragma once

namespace HotKeyCore {
class GlobalHotKeyManager;
}

namespace velmora {

namespace platform {
class PreferencesStore;
}
class DoubleTapModifierManager;

// Puts the stored trigger into effect: in combination mode the double tap stops
// and the hot key is registered; in double-tap mode the hot key goes and the
// detector runs with the stored modifier and threshold. A disabled hot key turns
// both off. Runs at start and whenever the hot key or the permission changes.
void applyHotKeyMode(platform::PreferencesStore& defaults, HotKeyCore::GlobalHotKeyManager& hotKey,
                     DoubleTapModifierManager& doubleTap);

} // namespace velmora
