#pragma once

#include "HotKeySettings.h"

#include "Platform/PreferencesStore.h"

#include <QString>

#include <optional>

namespace HotKeyCore {

// Where hot-key settings live in a preferences domain. Without a character key
// the character is never read or written.
struct HotKeySettingsStore {
    velmora::platform::PreferencesStore* defaults = nullptr;
    QString enabledKey;
    QString keyCodeKey;
    QString modifiersKey;
    std::optional<QString> characterKey;

    // A value of the wrong type, or a number outside 0 to 2^32-1, counts as missing.
    HotKeySettings load(const HotKeySettings& defaultSettings = HotKeySettings::defaultSettings()) const;
    [[nodiscard]] std::optional<velmora::platform::PreferencesError> save(const HotKeySettings& settings) const;
};

} // namespace HotKeyCore
