#include "HotKeySettings.h"

#include "KeyShortcut.h"
#include "ShortcutCharacter.h"

namespace HotKeyCore {

HotKeySettings::HotKeySettings(bool isEnabled, std::uint32_t keyCode, std::uint32_t modifiers,
                               const std::optional<QString>& character)
    : isEnabled(isEnabled)
    , keyCode(keyCode)
    , modifiers(modifiers)
    , character(normalizedShortcutCharacter(character))
{
}

HotKeySettings::HotKeySettings(bool isEnabled, const KeyShortcut& shortcut)
    : HotKeySettings(isEnabled, shortcut.keyCode, shortcut.modifiers, shortcut.character)
{
}

QJsonObject HotKeySettings::toJson() const
{
    QJsonObject object = KeyShortcut(*this).toJson();
    object.insert(QStringLiteral("isEnabled"), isEnabled);
    return object;
}

std::optional<HotKeySettings> HotKeySettings::fromJson(const QJsonObject& object)
{
    const auto shortcut = KeyShortcut::fromJson(object);
    const QJsonValue enabled = object.value(QStringLiteral("isEnabled"));
    if (!shortcut || !enabled.isBool())
        return std::nullopt;
    HotKeySettings settings;
    settings.isEnabled = enabled.toBool();
    settings.keyCode = shortcut->keyCode;
    settings.modifiers = shortcut->modifiers;
    settings.character = shortcut->character;
    return settings;
}

size_t qHash(const HotKeySettings& settings, size_t seed) noexcept
{
    return qHashMulti(seed, settings.isEnabled, settings.keyCode, settings.modifiers,
                      settings.character.value_or(QString()), settings.character.has_value());
}

} // namespace HotKeyCore
