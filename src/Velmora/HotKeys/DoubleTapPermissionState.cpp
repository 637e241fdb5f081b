#include "DoubleTapPermissionState.h"

#include "HotKeyModeStore.h"
#include "HotKeyNotifications.h"
#include "StandardHotKeySettingsStore.h"

#include "Platform/ActivationInput.h"
#include "Platform/DesktopSession.h"
#include "Platform/Linux/JsonFilePreferencesStore.h"

namespace velmora {

DoubleTapPermissionState::DoubleTapPermissionState(std::function<bool()> checkPermission,
                                                   std::function<Settings()> loadSettings,
                                                   std::function<void()> postGranted, std::optional<QString> sessionLimits,
                                                   QObject* parent)
    : QObject(parent)
    , m_checkPermission(checkPermission ? checkPermission : &platform::ActivationInput::canWatchAndPostKeys)
    , m_loadSettings(loadSettings ? std::move(loadSettings) : [] {
        auto& defaults = *platform::JsonFilePreferencesStore::standard();
        return Settings{HotKeyModeStore::standard(defaults).mode(), standardHotKeySettingsStore(defaults).load().isEnabled};
    })
    , m_postGranted(postGranted ? std::move(postGranted) : [] { HotKeyNotifications::shared().postDoubleTapPermissionGranted(); })
    , m_sessionLimits(sessionLimits.value_or(QString()))
{
    // The session's own limits apply to the session's own check; a check given by the caller stands alone.
    if (!sessionLimits && !checkPermission)
        m_sessionLimits = platform::DesktopSession::backends().doubleTap.limits;
    // No grant notice for what was already allowed at start.
    m_hasPermission = m_checkPermission() && m_sessionLimits.isEmpty();
    refresh();
}

DoubleTapPermissionState& DoubleTapPermissionState::shared()
{
    static DoubleTapPermissionState state;
    return state;
}

void DoubleTapPermissionState::refresh()
{
    const bool granted = m_checkPermission() && m_sessionLimits.isEmpty();
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
