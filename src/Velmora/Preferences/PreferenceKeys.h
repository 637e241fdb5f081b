#pragma once

#include <QString>

// Every key of the preferences domain. Each owner reads its keys where it needs
// them and applies its own default; nothing is registered up front.
namespace velmora::PreferenceKeys {

inline constexpr QLatin1String dictationMode{"velmora.dictationMode"};
inline constexpr QLatin1String autoCopyToClipboard{"velmora.autoCopyToClipboard"};
inline constexpr QLatin1String directInsert{"velmora.directInsert"};
// A dictation pasted right after another into the same window starts with a space (default on).
inline constexpr QLatin1String spaceBetweenDictations{"velmora.spaceBetweenDictations"};
// More window classes (WM_CLASS) to paste into as terminals: a JSON array of strings.
inline constexpr QLatin1String terminalWindowClasses{"velmora.terminalWindowClasses"};
inline constexpr QLatin1String notifyOnTranscriptionComplete{"velmora.notifyOnTranscriptionComplete"};
inline constexpr QLatin1String autoClearTranscript{"velmora.autoClearTranscript"};
inline constexpr QLatin1String autoClearDelay{"velmora.autoClearDelay"};
inline constexpr QLatin1String soundEffectsEnabled{"velmora.soundEffectsEnabled"};
inline constexpr QLatin1String soundEffectsVolume{"velmora.soundEffectsVolume"};
inline constexpr QLatin1String durationWarningsEnabled{"velmora.durationWarningsEnabled"};
inline constexpr QLatin1String executablePath{"velmora.executablePath"};
inline constexpr QLatin1String modelPath{"velmora.modelPath"};
inline constexpr QLatin1String language{"velmora.language"};
inline constexpr QLatin1String vocabulary{"velmora.vocabulary"};
// The cloud folder that carries the vocabulary file; else a well-known sync folder.
inline constexpr QLatin1String cloudFolder{"velmora.cloudFolder"};
inline constexpr QLatin1String selectedAudioDeviceUID{"velmora.selectedAudioDeviceUID"};
inline constexpr QLatin1String browserIntegration{"velmora.browserIntegration"};
inline constexpr QLatin1String hotKeyEnabled{"velmora.hotKeyEnabled"};
inline constexpr QLatin1String hotKeyCode{"velmora.hotKeyCode"};
inline constexpr QLatin1String hotKeyModifiers{"velmora.hotKeyModifiers"};
inline constexpr QLatin1String hotKeyCharacter{"velmora.hotKeyCharacter"};
inline constexpr QLatin1String hotKeyMode{"velmora.hotKeyMode"};
inline constexpr QLatin1String doubleTapModifier{"velmora.doubleTapModifier"};
inline constexpr QLatin1String doubleTapThreshold{"velmora.doubleTapThreshold"};
inline constexpr QLatin1String launchAtLogin{"velmora.launchAtLogin"};
// The update engine: the version the user skipped, whether it checks by itself, when it last did.
inline constexpr QLatin1String skippedUpdateVersion{"velmora.updates.skippedVersion"};
inline constexpr QLatin1String automaticUpdateChecks{"velmora.updates.automaticChecks"};
inline constexpr QLatin1String lastUpdateCheck{"velmora.updates.lastCheck"};
// The desktop portal's word that Velmora may send keys, so the next start is not asked again.
inline constexpr QLatin1String remoteDesktopRestoreToken{"velmora.remoteDesktop.restoreToken"};
// Asked once whether to add the hot key to GNOME's own shortcuts (Wayland sessions without a shortcut portal).
inline constexpr QLatin1String desktopShortcutOffered{"velmora.hotKey.desktopShortcutOffered"};
// Set by hand only; it has no "velmora." prefix.
inline constexpr QLatin1String allowMultipleInstances{"allowMultipleInstances"};

} // namespace velmora::PreferenceKeys
