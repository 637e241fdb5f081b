#include "HotKeyModeStore.h"

#include "Preferences/PreferenceKeys.h"

#include <algorithm>
#include <cmath>

namespace velmora {

HotKeyModeStore HotKeyModeStore::standard(platform::PreferencesStore& defaults)
{
    return {&defaults, PreferenceKeys::hotKeyMode, PreferenceKeys::doubleTapModifier,
            PreferenceKeys::doubleTapThreshold};
}

HotKeyMode HotKeyModeStore::mode() const
{
    return hotKeyModeFromRawValue(defaults->stringValue(modeKey).value_or(QString()));
}

DoubleTapModifier HotKeyModeStore::doubleTapModifier() const
{
    return doubleTapModifierFromRawValue(defaults->stringValue(doubleTapModifierKey).value_or(QString()));
}

double HotKeyModeStore::normalizedThreshold(double stored)
{
    if (std::isnan(stored) || stored <= 0)
        return 0.3;
    return std::clamp(stored, 0.05, 0.3);
}

double HotKeyModeStore::doubleTapThreshold() const
{
    return normalizedThreshold(defaults->doubleValue(doubleTapThresholdKey).value_or(0.3));
}

std::optional<platform::PreferencesError> HotKeyModeStore::save(HotKeyMode mode, DoubleTapModifier modifier,
                                                                std::optional<double> threshold) const
{
    auto failure = defaults->setString(modeKey, rawValue(mode));
    if (auto error = defaults->setString(doubleTapModifierKey, rawValue(modifier)); error && !failure)
        failure = error;
    if (threshold) {
        if (auto error = defaults->setDouble(doubleTapThresholdKey, std::isnan(*threshold) ? 0.3 : std::clamp(*threshold, 0.05, 0.3)); error && !failure)
            failure = error;
    }
    return failure;
}

} // namespace velmora
