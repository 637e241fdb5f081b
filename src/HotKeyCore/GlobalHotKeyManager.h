#pragma once

#include "HotKeySettings.h"

#include "Platform/ActivationInput.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace HotKeyCore {

// One system-wide hot key. A character shortcut follows its character across
// layout switches; a refused registration is kept visible (registrationError)
// and retried on the next layout change.
class GlobalHotKeyManager : public QObject {
    Q_OBJECT
public:
    explicit GlobalHotKeyManager(
        const QString& signature,
        std::unique_ptr<velmora::platform::GlobalShortcutSource> shortcuts =
            velmora::platform::ActivationInput::globalShortcuts(),
        std::shared_ptr<velmora::platform::KeyboardLayoutSource> layout =
            velmora::platform::ActivationInput::keyboardLayout(),
        QObject* parent = nullptr);
    ~GlobalHotKeyManager() override;

    // True when nothing had to be registered or the registration succeeded.
    bool registerSettings(const HotKeySettings& settings);
    void unregister();
    // While suspended (the shortcut recorder is recording) nothing is grabbed, so
    // the combination reaches Velmora's own window; resuming grabs again.
    void setSuspended(bool suspended);

    std::function<void()> onHotKeyPressed;

    std::uint32_t signature() const { return m_signature; }
    const std::optional<HotKeySettings>& registeredSettings() const { return m_registeredSettings; }
    bool isRegistered() const { return m_registered; }
    bool isSuspended() const { return m_suspended; }
    // Why the last registration failed; nothing once one succeeds or is withdrawn.
    std::optional<velmora::platform::ShortcutGrabError> registrationError() const { return m_error; }
    const velmora::platform::KeyboardLayoutSource* layout() const { return m_layout.get(); }
    // How the desktop describes the binding, where a desktop service made it ("Ctrl+Space").
    QString bindingDescription() const { return m_bindingDescription; }

signals:
    void registrationChanged();

private:
    bool grabRegisteredSettings();
    void setRegistration(bool registered, std::optional<velmora::platform::ShortcutGrabError> error);

    std::uint32_t m_signature;
    std::unique_ptr<velmora::platform::GlobalShortcutSource> m_shortcuts;
    std::shared_ptr<velmora::platform::KeyboardLayoutSource> m_layout;
    std::optional<HotKeySettings> m_registeredSettings;
    bool m_registered = false;
    bool m_suspended = false;
    std::optional<velmora::platform::ShortcutGrabError> m_error;
    QString m_bindingDescription;
};

} // namespace HotKeyCore
