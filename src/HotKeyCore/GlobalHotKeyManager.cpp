#include "GlobalHotKeyManager.h"

#include "FourCharCode.h"
#include "HotKeyDisplay.h"
#include "KeyboardLayoutShortcut.h"

#include "Platform/LogCategories.h"

namespace HotKeyCore {

using velmora::platform::ShortcutGrabError;

GlobalHotKeyManager::GlobalHotKeyManager(const QString& signature,
                                         std::unique_ptr<velmora::platform::GlobalShortcutSource> shortcuts,
                                         std::shared_ptr<velmora::platform::KeyboardLayoutSource> layout,
                                         QObject* parent)
    : QObject(parent)
    , m_signature(fourCharCode(signature))
    , m_shortcuts(std::move(shortcuts))
    , m_layout(std::move(layout))
{
    connect(m_shortcuts.get(), &velmora::platform::GlobalShortcutSource::pressed, this,
            [this](std::uint32_t signature, std::uint32_t) {
                if (signature == m_signature && onHotKeyPressed)
                    onHotKeyPressed();
            });
    // A desktop service answers later: how it bound the combination, or that it did not.
    connect(m_shortcuts.get(), &velmora::platform::GlobalShortcutSource::bindingDescribed, this,
            [this](const QString& description) {
                const bool news = m_registered && !m_error; // else setRegistration tells
                m_bindingDescription = description;
                setRegistration(true, std::nullopt);
                if (news)
                    emit registrationChanged();
            });
    connect(m_shortcuts.get(), &velmora::platform::GlobalShortcutSource::grabFailed, this,
            [this](ShortcutGrabError error) {
                m_bindingDescription.clear();
                setRegistration(false, error);
            });
    if (m_layout) {
        connect(m_layout.get(), &velmora::platform::KeyboardLayoutSource::layoutChanged, this, [this] {
            if (m_registeredSettings && m_registeredSettings->isEnabled)
                registerSettings(*m_registeredSettings);
        });
    }
}

GlobalHotKeyManager::~GlobalHotKeyManager()
{
    // The source lets go of its shortcut as it goes, in its own way: the portal's waits a
    // moment at quit so its session is closed before the bus connection is.
    m_registeredSettings.reset();
}

bool GlobalHotKeyManager::registerSettings(const HotKeySettings& settings)
{
    m_registeredSettings = settings;
    return grabRegisteredSettings();
}

bool GlobalHotKeyManager::grabRegisteredSettings()
{
    m_shortcuts->release();
    if (!m_registeredSettings || !m_registeredSettings->isEnabled || m_suspended) {
        setRegistration(false, std::nullopt);
        return true;
    }
    const auto resolved = resolveHotKey(*m_registeredSettings, m_layout.get());
    const auto error = m_shortcuts->grab({m_signature, 1, resolved.keyCode, resolved.modifiers, resolved.layoutModifiers});
    if (error) {
        qCWarning(velmora::logging::hotKey).noquote()
            << "hot key" << hotKeyDisplayString(*m_registeredSettings) << "not registered:" << describe(*error);
    }
    setRegistration(!error, error);
    return !error;
}

void GlobalHotKeyManager::unregister()
{
    m_registeredSettings.reset();
    m_shortcuts->release();
    setRegistration(false, std::nullopt);
}

void GlobalHotKeyManager::setSuspended(bool suspended)
{
    if (suspended == m_suspended)
        return;
    m_suspended = suspended;
    grabRegisteredSettings();
}

void GlobalHotKeyManager::setRegistration(bool registered, std::optional<ShortcutGrabError> error)
{
    if (registered == m_registered && error == m_error)
        return;
    m_registered = registered;
    m_error = error;
    emit registrationChanged();
}

} // namespace HotKeyCore
