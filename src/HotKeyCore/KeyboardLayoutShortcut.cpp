#include "KeyboardLayoutShortcut.h"

#include "HotKeySettings.h"
#include "KeyShortcutRules.h"
#include "ModifierFlags.h"
#include "ShortcutCharacter.h"

#include "Platform/KeyboardLayoutSource.h"

#include <QList>

namespace HotKeyCore {

std::optional<KeyboardLayoutShortcut> keyboardLayoutShortcut(const QString& character,
                                                             const velmora::platform::KeyboardLayoutSource* layout)
{
    const auto target = normalizedShortcutCharacter(character);
    if (!target || !layout || !layout->hasLayout())
        return std::nullopt;
    constexpr std::uint32_t levels[] = {0, shiftKeyMask, optionKeyMask, shiftKeyMask | optionKeyMask};
    for (std::uint32_t keyCode = 0; keyCode < 128; ++keyCode) {
        if (modifierOnlyKeyCodes().contains(keyCode))
            continue;
        for (const auto level : levels) {
            const auto typed = layout->typedText(keyCode, level);
            if (!typed || typed->isEmpty() || !isDisplayableShortcutScalar(typed->toUcs4().front()))
                continue;
            if (normalizedShortcutCharacter(*typed) == target)
                return KeyboardLayoutShortcut{keyCode, level};
        }
    }
    return std::nullopt;
}

ResolvedHotKey resolveHotKey(const HotKeySettings& settings, const velmora::platform::KeyboardLayoutSource* layout)
{
    if (settings.character) {
        if (const auto found = keyboardLayoutShortcut(*settings.character, layout))
            return {found->keyCode, settings.modifiers, found->modifiers};
    }
    return {settings.keyCode, settings.modifiers, 0};
}

KeyboardLayoutShortcut resolvedGlobalHotKeyShortcut(const HotKeySettings& settings,
                                                    const velmora::platform::KeyboardLayoutSource* layout)
{
    const auto resolved = resolveHotKey(settings, layout);
    return {resolved.keyCode, resolved.modifiers | resolved.layoutModifiers};
}

} // namespace HotKeyCore
