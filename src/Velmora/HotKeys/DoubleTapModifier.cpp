#include "DoubleTapModifier.h"

#include "HotKeyCore/ModifierFlags.h"

namespace velmora {

QString rawValue(DoubleTapModifier modifier)
{
    switch (modifier) {
    case DoubleTapModifier::control:
        return QStringLiteral("control");
    case DoubleTapModifier::option:
        return QStringLiteral("option");
    case DoubleTapModifier::shift:
        return QStringLiteral("shift");
    case DoubleTapModifier::command:
        return QStringLiteral("command");
    }
    return QStringLiteral("control");
}

DoubleTapModifier doubleTapModifierFromRawValue(const QString& text)
{
    for (const auto modifier : {DoubleTapModifier::option, DoubleTapModifier::shift, DoubleTapModifier::command}) {
        if (text == rawValue(modifier))
            return modifier;
    }
    return DoubleTapModifier::control;
}

std::uint64_t eventFlag(DoubleTapModifier modifier)
{
    switch (modifier) {
    case DoubleTapModifier::control:
        return HotKeyCore::controlFlag;
    case DoubleTapModifier::option:
        return HotKeyCore::optionFlag;
    case DoubleTapModifier::shift:
        return HotKeyCore::shiftFlag;
    case DoubleTapModifier::command:
        return HotKeyCore::commandFlag;
    }
    return HotKeyCore::controlFlag;
}

} // namespace velmora
