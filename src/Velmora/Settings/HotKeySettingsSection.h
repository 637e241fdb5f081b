#pragma once

#include "HotKeys/DoubleTapModifier.h"
#include "HotKeys/HotKeyMode.h"

#include "HotKeyCore/HotKeySettings.h"

#include <QWidget>

#include <functional>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

namespace HotKeyCore {
class GlobalHotKeyManager;
class ShortcutRecorderController;
}

namespace velmora {

namespace platform {
class PreferencesStore;
}
class DoubleTapPermissionState;

// The keyboard trigger in the settings: on or off, a key combination or a
// modifier double tap, the recorded combination, the modifier and the speed.
// Every change is saved at once and announced, so the running triggers follow.
class HotKeySettingsSection : public QWidget {
    Q_OBJECT
public:
    // `announce` tells the application the trigger changed (the hot-key notice by default);
    // `sessionLimits` says where the combination cannot reach (Wayland windows), by default
    // in the session's own words; `hotKey`, where given, tells how a desktop service bound it.
    HotKeySettingsSection(platform::PreferencesStore& defaults, HotKeyCore::ShortcutRecorderController& recorder,
                          DoubleTapPermissionState& permission, std::function<void()> announce = {},
                          QWidget* parent = nullptr, std::optional<QString> sessionLimits = std::nullopt,
                          HotKeyCore::GlobalHotKeyManager* hotKey = nullptr);

    HotKeyCore::HotKeySettings currentHotKeySettings() const { return m_settings; }
    HotKeyMode mode() const { return m_mode; }
    std::optional<QString> recordingError() const { return m_recordingError; }

    void persistHotKeySettings();
    void resetHotKeyToDefault();
    void beginShortcutRecording();

    // The shortcut field's text: "Recording…", the held modifiers and "…", or the shortcut.
    static QString shortcutFieldText(bool isRecording, std::uint32_t previewModifiers,
                                     const HotKeyCore::HotKeySettings& settings);
    // "300 ms": the threshold in milliseconds, rounded.
    static QString thresholdText(double seconds);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();

    platform::PreferencesStore& m_defaults;
    HotKeyCore::ShortcutRecorderController& m_recorder;
    DoubleTapPermissionState& m_permission;
    std::function<void()> m_announce;

    HotKeyCore::HotKeySettings m_settings;
    HotKeyMode m_mode = HotKeyMode::combination;
    DoubleTapModifier m_modifier = DoubleTapModifier::control;
    double m_threshold = 0.3;
    std::optional<QString> m_recordingError;

    QCheckBox* m_enabled;
    QWidget* m_details;
    QButtonGroup* m_modes;
    QWidget* m_combinationPage;
    QWidget* m_doubleTapPage;
    QPushButton* m_field;
    QLabel* m_hint;
    QLabel* m_doubleTapLine;
    QButtonGroup* m_modifiers;
    QSlider* m_speed;
    QLabel* m_speedValue;
};

} // namespace velmora
