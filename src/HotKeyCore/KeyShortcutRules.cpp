#include "KeyShortcutRules.h"

#include "KeyboardLayoutShortcut.h"
#include "ModifierFlags.h"
#include "ShortcutCharacter.h"

namespace HotKeyCore {

const QSet<std::uint32_t>& modifierOnlyKeyCodes()
{
    static const QSet<std::uint32_t> codes{54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
    return codes;
}

bool isValidKeyShortcut(std::uint32_t keyCode, std::uint32_t modifiers)
{
    return modifiers != 0 && !modifierOnlyKeyCodes().contains(keyCode);
}

namespace {

std::optional<QString> preferredShortcutCharacter(const KeyEvent& event, std::uint32_t mask)
{
    if (mask & optionKeyMask) {
        const auto typed = normalizedShortcutCharacter(event.characters);
        if (typed && shouldPreferOptionProducedCharacter(*typed))
            return typed;
    }
    if (auto plain = normalizedShortcutCharacter(event.charactersIgnoringModifiers))
        return plain;
    return normalizedShortcutCharacter(event.characters);
}

} // namespace

std::optional<KeyShortcut> keyShortcut(const KeyEvent& event, const velmora::platform::KeyboardLayoutSource* layout)
{
    std::uint32_t mask = carbonModifiers(event.modifierFlags);
    const auto character = preferredShortcutCharacter(event, mask);
    if (character) {
        if (const auto typing = keyboardLayoutShortcut(*character, layout))
            mask &= ~typing->modifiers;
    }
    if (!isValidKeyShortcut(event.keyCode, mask))
        return std::nullopt;
    return KeyShortcut(event.keyCode, mask, character);
}

bool keyShortcutMatches(const KeyShortcut& shortcut, const KeyEvent& event,
                        const velmora::platform::KeyboardLayoutSource* layout)
{
    const std::uint32_t mask = carbonModifiers(event.modifierFlags);
    if (!shortcut.character)
        return shortcut.modifiers == mask && shortcut.keyCode == event.keyCode;
    if (const auto typing = keyboardLayoutShortcut(*shortcut.character, layout)) {
        if (event.keyCode == typing->keyCode && (shortcut.modifiers | typing->modifiers) == mask)
            return true;
    }
    const auto plain = normalizedShortcutCharacter(event.charactersIgnoringModifiers);
    const auto typed = normalizedShortcutCharacter(event.characters);
    if (!plain && !typed)
        return false;
    return shortcut.modifiers == mask && (plain == shortcut.character || typed == shortcut.character);
}

bool keyShortcutsConflict(const KeyShortcut& a, const KeyShortcut& b)
{
    if (a.modifiers != b.modifiers)
        return false;
    if (!a.character || !b.character)
        return a.keyCode == b.keyCode;
    return a.character == b.character;
}

} // namespace HotKeyCore
