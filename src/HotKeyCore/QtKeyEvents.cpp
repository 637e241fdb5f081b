#include "QtKeyEvents.h"

#include "ModifierFlags.h"

#include "Platform/KeyboardLayoutSource.h"
#include "Platform/ActivationInput.h"

#include <QKeyEvent>

#include <array>
#include <utility>

namespace HotKeyCore {
namespace {

// Where no native key code comes with the event: the keys a recorder must know.
constexpr std::array<std::pair<int, std::uint32_t>, 48> qtKeys{{
    {Qt::Key_A, 0},  {Qt::Key_S, 1},  {Qt::Key_D, 2},  {Qt::Key_F, 3},  {Qt::Key_H, 4},  {Qt::Key_G, 5},
    {Qt::Key_Z, 6},  {Qt::Key_X, 7},  {Qt::Key_C, 8},  {Qt::Key_V, 9},  {Qt::Key_B, 11}, {Qt::Key_Q, 12},
    {Qt::Key_W, 13}, {Qt::Key_E, 14}, {Qt::Key_R, 15}, {Qt::Key_Y, 16}, {Qt::Key_T, 17}, {Qt::Key_1, 18},
    {Qt::Key_2, 19}, {Qt::Key_3, 20}, {Qt::Key_4, 21}, {Qt::Key_6, 22}, {Qt::Key_5, 23}, {Qt::Key_9, 25},
    {Qt::Key_7, 26}, {Qt::Key_8, 28}, {Qt::Key_0, 29}, {Qt::Key_O, 31}, {Qt::Key_U, 32}, {Qt::Key_I, 34},
    {Qt::Key_P, 35}, {Qt::Key_Return, 36}, {Qt::Key_L, 37}, {Qt::Key_J, 38}, {Qt::Key_K, 40}, {Qt::Key_N, 45},
    {Qt::Key_M, 46}, {Qt::Key_Tab, 48}, {Qt::Key_Backtab, 48}, {Qt::Key_Space, 49}, {Qt::Key_Backspace, 51},
    {Qt::Key_Escape, 53}, {Qt::Key_Enter, 76}, {Qt::Key_Delete, 117}, {Qt::Key_Left, 123}, {Qt::Key_Right, 124},
    {Qt::Key_Down, 125}, {Qt::Key_Up, 126},
}};

std::uint32_t classicKeyCodeOf(const QKeyEvent& event)
{
    if (event.nativeScanCode() != 0) {
        if (const auto code = velmora::platform::ActivationInput::classicKeyCode(event.nativeScanCode()))
            return *code;
    }
    for (const auto& [key, code] : qtKeys) {
        if (key == event.key())
            return code;
    }
    return 0xFFFF; // no classic code: shows as "Key 65535" and matches nothing stored
}


std::uint64_t flagOfModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Control:
        return controlFlag;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return optionFlag;
    case Qt::Key_Shift:
        return shiftFlag;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return commandFlag;
    default:
        return 0;
    }
}

} // namespace

bool isModifierKey(const QKeyEvent& event)
{
    return flagOfModifierKey(event.key()) != 0;
}

std::uint64_t modifierFlagsAfter(const QKeyEvent& event)
{
    std::uint64_t flags = modifierFlags(event.modifiers());
    const auto own = flagOfModifierKey(event.key());
    if (event.type() == QEvent::KeyPress)
        flags |= own;
    else
        flags &= ~own;
    return flags;
}

KeyEvent keyEvent(const QKeyEvent& event, const velmora::platform::KeyboardLayoutSource* layout)
{
    KeyEvent result;
    result.keyCode = classicKeyCodeOf(event);
    result.modifierFlags = modifierFlags(event.modifiers());
    if (!event.text().isEmpty())
        result.characters = event.text();
    const bool shift = event.modifiers() & Qt::ShiftModifier;
    if (layout && layout->hasLayout()) {
        // With Control held the toolkit's text is a control character ("|" comes as
        // 0x1C); the layout tells what the key types at the level of Shift and AltGr.
        const bool altGr = event.modifiers() & Qt::GroupSwitchModifier;
        const std::uint32_t level = (shift ? shiftKeyMask : 0) | (altGr ? optionKeyMask : 0);
        if (const auto typed = layout->typedText(result.keyCode, level))
            result.characters = typed;
        result.charactersIgnoringModifiers = layout->typedText(result.keyCode, shift ? shiftKeyMask : 0);
    } else if (!(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::GroupSwitchModifier))
             && !event.text().isEmpty())
        result.charactersIgnoringModifiers = event.text();
    return result;
}

std::uint64_t modifierFlags(Qt::KeyboardModifiers modifiers)
{
    std::uint64_t flags = 0;
    if (modifiers & Qt::ControlModifier)
        flags |= controlFlag;
    if (modifiers & (Qt::AltModifier | Qt::GroupSwitchModifier))
        flags |= optionFlag;
    if (modifiers & Qt::ShiftModifier)
        flags |= shiftFlag;
    if (modifiers & Qt::MetaModifier)
        flags |= commandFlag;
    return flags;
}

} // namespace HotKeyCore
