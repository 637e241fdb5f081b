#include "HotKeyDisplay.h"

#include "HotKeySettings.h"
#include "KeyShortcut.h"
#include "ModifierFlags.h"
#include "ShortcutCharacter.h"

#include <QStringList>

#include <array>

namespace HotKeyCore {
namespace {

struct ModifierName {
    std::uint32_t mask;
    const char* readable;
    const char* compact;
};
constexpr std::array<ModifierName, 4> modifierNames{{
    {controlKeyMask, "Control", "Ctrl+"},
    {optionKeyMask, "Alt", "Alt+"},
    {shiftKeyMask, "Shift", "Shift+"},
    {commandKeyMask, "Super", "Super+"},
}};

struct NamedKey {
    std::uint32_t keyCode;
    const char* readable;
    const char* symbol;
};
constexpr std::array<NamedKey, 11> namedKeys{{
    {36, "Return", "\u21A9"},
    {48, "Tab", "\u21E5"},
    {49, "Space", "Space"},
    {51, "Delete", "\u232B"},
    {53, "Escape", "\u238B"},
    {76, "Return", "\u21A9"},
    {117, "Forward Delete", "\u2326"},
    {123, "Left", "\u2190"},
    {124, "Right", "\u2192"},
    {125, "Down", "\u2193"},
    {126, "Up", "\u2191"},
}};

struct PlainKey {
    std::uint32_t keyCode;
    const char* text;
};
constexpr std::array<PlainKey, 59> plainKeys{{
    {0, "A"},    {1, "S"},    {2, "D"},    {3, "F"},    {4, "H"},    {5, "G"},    {6, "Z"},    {7, "X"},
    {8, "C"},    {9, "V"},    {11, "B"},   {12, "Q"},   {13, "W"},   {14, "E"},   {15, "R"},   {16, "Y"},
    {17, "T"},   {18, "1"},   {19, "2"},   {20, "3"},   {21, "4"},   {22, "6"},   {23, "5"},   {24, "="},
    {25, "9"},   {26, "7"},   {27, "-"},   {28, "8"},   {29, "0"},   {30, "]"},   {31, "O"},   {32, "U"},
    {33, "["},   {34, "I"},   {35, "P"},   {37, "L"},   {38, "J"},   {39, "'"},   {40, "K"},   {41, ";"},
    {42, "\\"},  {43, ","},   {44, "/"},   {45, "N"},   {46, "M"},   {47, "."},   {50, "`"},   {122, "F1"},
    {120, "F2"}, {99, "F3"},  {118, "F4"}, {96, "F5"},  {97, "F6"},  {98, "F7"},  {100, "F8"}, {101, "F9"},
    {109, "F10"}, {103, "F11"}, {111, "F12"},
}};

QString keyText(std::uint32_t keyCode, bool symbol)
{
    for (const auto& key : namedKeys) {
        if (key.keyCode == keyCode)
            return QString::fromUtf8(symbol ? key.symbol : key.readable);
    }
    for (const auto& key : plainKeys) {
        if (key.keyCode == keyCode)
            return QString::fromUtf8(key.text);
    }
    return QStringLiteral("Key %1").arg(keyCode);
}

QString keyPart(std::uint32_t keyCode, const std::optional<QString>& character, bool symbol)
{
    const auto normalized = normalizedShortcutCharacter(character);
    if (!normalized)
        return keyText(keyCode, symbol);
    if (*normalized == QLatin1String(" "))
        return QStringLiteral("Space");
    return normalized->toUpper();
}

QString readable(std::uint32_t modifiers, const QString& key)
{
    const QString names = hotKeyModifierReadableString(modifiers);
    return names.isEmpty() ? key : names + QStringLiteral(" + ") + key;
}

} // namespace

QString hotKeyModifierReadableString(std::uint32_t modifiers)
{
    QStringList names;
    for (const auto& name : modifierNames) {
        if (modifiers & name.mask)
            names << QString::fromLatin1(name.readable);
    }
    return names.join(QStringLiteral(" + "));
}

QString hotKeyModifierSymbolString(std::uint32_t modifiers)
{
    QString text;
    for (const auto& name : modifierNames) {
        if (modifiers & name.mask)
            text += QString::fromLatin1(name.compact);
    }
    return text;
}

QString hotKeyKeyReadableString(std::uint32_t keyCode)
{
    return keyText(keyCode, false);
}

QString hotKeyKeySymbolString(std::uint32_t keyCode)
{
    return keyText(keyCode, true);
}

QString keyShortcutKeyReadableString(const KeyShortcut& shortcut)
{
    return keyPart(shortcut.keyCode, shortcut.character, false);
}

QString keyShortcutKeySymbolString(const KeyShortcut& shortcut)
{
    return keyPart(shortcut.keyCode, shortcut.character, true);
}

QString hotKeyDisplayString(const HotKeySettings& settings)
{
    if (!settings.isEnabled)
        return QStringLiteral("Disabled");
    return readable(settings.modifiers, keyPart(settings.keyCode, settings.character, false));
}

QString keyShortcutDisplayString(const std::optional<KeyShortcut>& shortcut)
{
    if (!shortcut)
        return QStringLiteral("Not Set");
    return readable(shortcut->modifiers, keyShortcutKeyReadableString(*shortcut));
}

QString hotKeySymbolDisplayString(const HotKeySettings& settings)
{
    if (!settings.isEnabled)
        return QStringLiteral("Disabled");
    return hotKeyModifierSymbolString(settings.modifiers) + keyPart(settings.keyCode, settings.character, true);
}

QString keyShortcutSymbolDisplayString(const std::optional<KeyShortcut>& shortcut)
{
    if (!shortcut)
        return QStringLiteral("Not Set");
    return hotKeyModifierSymbolString(shortcut->modifiers) + keyShortcutKeySymbolString(*shortcut);
}

} // namespace HotKeyCore
