#include "HotKeyModeApplication.h"

#include "DoubleTapModifierManager.h"
#include "HotKeyModeStore.h"
#include "StandardHotKeySettingsStore.h"

#include "HotKeyCore/GlobalHotKeyManager.h"

namespace velmora {

void applyHotKeyMode(platform::PreferencesStore& defaults, HotKeyCore::GlobalHotKeyManager& hotKey,
                     DoubleTapModifierManager& doubleTap)
{
    const auto modes = HotKeyModeStore::standard(defaults);
    const auto settings = standardHotKeySettingsStore(defaults).load();
    if (modes.mode() == HotKeyMode::combination) {
        doubleTap.stop();
        hotKey.registerSettings(settings);
        return;
    }
    hotKey.unregister();
    doubleTap.targetModifier = modes.doubleTapModifier();
    doubleTap.threshold = modes.doubleTapThreshold();
    if (settings.isEnabled)
        doubleTap.start();
    else
        doubleTap.stop();
}

} // namespace velmora
