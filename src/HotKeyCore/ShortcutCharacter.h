#pragma once

#include <QString>

#include <optional>

namespace HotKeyCore {

// Absent for absent or empty text; otherwise the first user-perceived character,
// lower-cased, or absent when any of its scalars cannot be shown.
std::optional<QString> normalizedShortcutCharacter(const std::optional<QString>& text);
// Control and format characters and the private-use areas (where arrow and
// function keys put their characters) are not displayable.
bool isDisplayableShortcutScalar(char32_t scalar);
// One ASCII punctuation or symbol scalar: a character worth keeping when a layout
// types it with Option (AltGr), such as "|" or "[" on many European layouts.
bool shouldPreferOptionProducedCharacter(const QString& text);

} // namespace HotKeyCore
