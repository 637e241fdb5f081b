#include "DoubleTapPermissionState.h"

#include "HotKeyModeStore.h"
#include "HotKeyNotifications.h"
#include "StandardHotKeySettingsStore.h"

#include "Platform/ActivationInput.h"
#include "Platform/Linux/JsonFilePreferencesStore.h"

namespace velmora {

DoubleTapPermissionState::DoubleTapPermissionState(std::function<bool()> checkPermission,
                                                   std::function<Settings()> loadSettings,
                                                   std::function<void()> postGranted, QObject* parent)
    : QObject(parent)
    , m_checkPermission(checkPermission ? std::move(checkPermission) : &platform::ActivationInput::canWatchAndPostKeys)
    , m_loadSettings(loadSettings ? std::move(loadSettings) : [] {
        auto& defaults = *platform::JsonFilePreferencesStore::standard();
        return Settings{HotKeyModeStore::standard(defaults).mode(), standardHotKeySettingsStore(defaults).load().isEnabled};
    })
    , m_postGranted(postGranted ? std::move(postGranted) : [] { HotKeyNotifications::shared().postDoubleTapPermissionGranted(); })
{
    // No grant notice for what was already allowed at start.
    m_hasPermission = m_checkPermission();
    refresh();
}

DoubleTapPermissionState& DoubleTapPermissionState::shared()
{
    static DoubleTapPermissionState state;
    return state;
}

void DoubleTapPermissionState::refresh()
{
    const bool granted = m_checkPermission();
    const bool newlyGranted = granted && !m_hasPermission;
    if (granted != m_hasPermission) {
        m_hasPermission = granted;
        emit hasPermissionChanged(granted);
    }
    const auto settings = m_loadSettings();
    const bool hint = !granted && settings.mode == HotKeyMode::doubleTap && settings.enabled;
    if (hint != m_showsHint) {
        m_showsHint = hint;
        emit showsHintChanged(hint);
    }
    if (newlyGranted)
        m_postGranted();
}

} // namespace velmora
