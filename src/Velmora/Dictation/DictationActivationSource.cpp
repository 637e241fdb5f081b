#include "DictationActivationSource.h"

#include <QStringList>

namespace velmora {

QString DictationActivationSource::logName() const
{
    struct Name {
        QString operator()(const MenuBarLeftClick&) const { return QStringLiteral("menuBarLeftClick"); }
        QString operator()(const MenuBarRightClick&) const { return QStringLiteral("menuBarRightClick"); }
        QString operator()(const PopoverRecordButton&) const { return QStringLiteral("popoverRecordButton"); }
        QString operator()(const PopoverCancelButton&) const { return QStringLiteral("popoverCancelButton"); }
        QString operator()(const GlobalHotKey&) const { return QStringLiteral("globalHotKey"); }
        QString operator()(const DoubleTapModifier&) const { return QStringLiteral("doubleTapModifier"); }
        QString operator()(const CommandLine&) const { return QStringLiteral("commandLine"); }
        QString operator()(const Unknown&) const { return QStringLiteral("unknown"); }
    };
    return std::visit(Name{}, m_kind);
}

QMap<QString, QString> DictationActivationSource::details() const
{
    if (const auto* click = std::get_if<MenuBarLeftClick>(&m_kind))
        return {{QStringLiteral("clickCount"), QString::number(click->clickCount)},
                {QStringLiteral("modifiers"), click->modifiers}};
    if (const auto* unknown = std::get_if<Unknown>(&m_kind))
        return {{QStringLiteral("description"), unknown->description}};
    return {};
}

QString DictationActivationSource::modifierDescription(std::uint64_t flags)
{
    static const std::pair<std::uint64_t, const char*> names[] = {
        {0x100000, "command"}, {0x80000, "option"}, {0x40000, "control"}, {0x20000, "shift"}, {0x10000, "capsLock"},
    };
    QStringList present;
    for (const auto& [flag, name] : names) {
        if (flags & flag)
            present << QString::fromLatin1(name);
    }
    return present.isEmpty() ? QStringLiteral("none") : present.join(QLatin1Char('+'));
}

} // namespace velmora
