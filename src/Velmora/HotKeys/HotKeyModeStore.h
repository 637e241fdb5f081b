#pragma once

#include "DoubleTapModifier.h"
#include "HotKeyMode.h"

#include "Platform/PreferencesStore.h"

#include <optional>

namespace velmora {

// The trigger mode and the double-tap choices in a preferences domain.
struct HotKeyModeStore {
    platform::PreferencesStore* defaults = nullptr;
    QString modeKey;
    QString doubleTapModifierKey;
    QString doubleTapThresholdKey;

    // The standard keys ("velmora.hotKeyMode", ...) in the given domain.
    static HotKeyModeStore standard(platform::PreferencesStore& defaults);

    HotKeyMode mode() const;
    DoubleTapModifier doubleTapModifier() const;
    // Seconds; not above 0 (or absent) reads as 0.3, otherwise clamped to 0.05 ... 0.3.
    double doubleTapThreshold() const;
    static double normalizedThreshold(double stored);
    // Without a threshold the stored one is left alone; a given one is clamped.
    [[nodiscard]] std::optional<platform::PreferencesError> save(HotKeyMode mode, DoubleTapModifier modifier,
                                                                 std::optional<double> threshold = {}) const;
};

} // namespace velmora
