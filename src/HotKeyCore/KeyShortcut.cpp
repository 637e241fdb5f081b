#include "KeyShortcut.h"

#include "HotKeySettings.h"
#include "ShortcutCharacter.h"

#include <QJsonValue>

#include <limits>
#include <ostream>

namespace HotKeyCore {

KeyShortcut::KeyShortcut(std::uint32_t keyCode, std::uint32_t modifiers, const std::optional<QString>& character)
    : keyCode(keyCode)
    , modifiers(modifiers)
    , character(normalizedShortcutCharacter(character))
{
}

KeyShortcut KeyShortcut::withCharacter(const QString& character, std::uint32_t keyCode, std::uint32_t modifiers)
{
    return KeyShortcut(keyCode, modifiers, character);
}

KeyShortcut::KeyShortcut(const HotKeySettings& settings)
    : KeyShortcut(settings.keyCode, settings.modifiers, settings.character)
{
}

QJsonObject KeyShortcut::toJson() const
{
    QJsonObject object{{QStringLiteral("keyCode"), qint64(keyCode)}, {QStringLiteral("modifiers"), qint64(modifiers)}};
    if (character)
        object.insert(QStringLiteral("character"), *character);
    return object;
}

namespace {

std::optional<std::uint32_t> unsigned32(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number < 0 || number > std::numeric_limits<std::uint32_t>::max() || number != static_cast<double>(qint64(number)))
        return std::nullopt;
    return static_cast<std::uint32_t>(number);
}

} // namespace

std::optional<KeyShortcut> KeyShortcut::fromJson(const QJsonObject& object)
{
    const auto keyCode = unsigned32(object.value(QStringLiteral("keyCode")));
    const auto modifiers = unsigned32(object.value(QStringLiteral("modifiers")));
    if (!keyCode || !modifiers)
        return std::nullopt;
    KeyShortcut shortcut;
    shortcut.keyCode = *keyCode;
    shortcut.modifiers = *modifiers;
    const QJsonValue character = object.value(QStringLiteral("character"));
    if (character.isString())
        shortcut.character = character.toString();
    return shortcut;
}

size_t qHash(const KeyShortcut& shortcut, size_t seed) noexcept
{
    return qHashMulti(seed, shortcut.keyCode, shortcut.modifiers, shortcut.character.value_or(QString()),
                      shortcut.character.has_value());
}

} // namespace HotKeyCore

namespace HotKeyCore {

void PrintTo(const KeyShortcut& shortcut, std::ostream* out)
{
    *out << "key " << shortcut.keyCode << " mask 0x" << std::hex << shortcut.modifiers << std::dec << " character "
         << (shortcut.character ? '"' + shortcut.character->toStdString() + '"' : std::string("none"));
}

} // namespace HotKeyCore
