#include "StandardHotKeySettingsStore.h"

#include "Preferences/PreferenceKeys.h"

namespace velmora {

HotKeyCore::HotKeySettingsStore standardHotKeySettingsStore(platform::PreferencesStore& defaults)
{
    return {&defaults, PreferenceKeys::hotKeyEnabled, PreferenceKeys::hotKeyCode, PreferenceKeys::hotKeyModifiers,
            QString(PreferenceKeys::hotKeyCharacter)};
}

} // namespace velmora
