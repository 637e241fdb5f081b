#include "HotKeySettingsStore.h"

#include "ShortcutCharacter.h"

#include <limits>

namespace HotKeyCore {
namespace {

std::optional<std::uint32_t> unsigned32(const velmora::platform::PreferencesStore& store, const QString& key)
{
    const auto value = store.integerValue(key);
    if (!value || *value < 0 || *value > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

} // namespace

HotKeySettings HotKeySettingsStore::load(const HotKeySettings& defaultSettings) const
{
    HotKeySettings settings = defaultSettings;
    settings.isEnabled = defaults->boolValue(enabledKey).value_or(defaultSettings.isEnabled);
    settings.keyCode = unsigned32(*defaults, keyCodeKey).value_or(defaultSettings.keyCode);
    settings.modifiers = unsigned32(*defaults, modifiersKey).value_or(defaultSettings.modifiers);
    const auto stored = characterKey ? defaults->stringValue(*characterKey) : std::nullopt;
    settings.character = normalizedShortcutCharacter(stored ? stored : defaultSettings.character);
    return settings;
}

std::optional<velmora::platform::PreferencesError> HotKeySettingsStore::save(const HotKeySettings& settings) const
{
    std::optional<velmora::platform::PreferencesError> failure;
    const auto keep = [&failure](std::optional<velmora::platform::PreferencesError> result) {
        if (result && !failure)
            failure = result;
    };
    keep(defaults->setBool(enabledKey, settings.isEnabled));
    keep(defaults->setInteger(keyCodeKey, settings.keyCode));
    keep(defaults->setInteger(modifiersKey, settings.modifiers));
    if (characterKey)
        keep(settings.character ? defaults->setString(*characterKey, *settings.character)
                                : defaults->remove(*characterKey));
    return failure;
}

} // namespace HotKeyCore
