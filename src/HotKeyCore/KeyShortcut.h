#pragma once

#include <QHashFunctions>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <iosfwd>
#include <optional>

namespace HotKeyCore {

struct HotKeySettings;

// A key combination. With a character it is defined by what it types on whatever
// layout is active: keyCode is where it was captured, and modifiers are only
// those beyond what typing the character takes.
struct KeyShortcut {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    std::optional<QString> character;

    KeyShortcut() = default;
    // Each constructor normalises the character; an undisplayable one becomes absent.
    KeyShortcut(std::uint32_t keyCode, std::uint32_t modifiers, const std::optional<QString>& character = {});
    static KeyShortcut withCharacter(const QString& character, std::uint32_t keyCode, std::uint32_t modifiers);
    explicit KeyShortcut(const HotKeySettings& settings);

    bool operator==(const KeyShortcut&) const = default;

    QJsonObject toJson() const;
    // Taken as stored (no normalisation); nothing when a number is missing or not one.
    static std::optional<KeyShortcut> fromJson(const QJsonObject& object);
};

size_t qHash(const KeyShortcut& shortcut, size_t seed = 0) noexcept;
// For test failures and logs: "keyCode/modifiers/character".
void PrintTo(const KeyShortcut& shortcut, std::ostream* out);

} // namespace HotKeyCore
