#pragma once

#include <QMap>
#include <QString>

#include <cstdint>
#include <variant>

namespace velmora {

// What asked for a dictation command, as the activation log records it.
class DictationActivationSource {
public:
    struct MenuBarLeftClick {
        int clickCount;
        QString modifiers;
    };
    struct MenuBarRightClick {};
    struct PopoverRecordButton {};
    struct PopoverCancelButton {};
    struct GlobalHotKey {};
    struct DoubleTapModifier {};
    // `velmora --toggle` from a desktop shortcut or a terminal.
    struct CommandLine {};
    struct Unknown {
        QString description;
    };
    using Kind = std::variant<MenuBarLeftClick, MenuBarRightClick, PopoverRecordButton, PopoverCancelButton,
                              GlobalHotKey, DoubleTapModifier, CommandLine, Unknown>;

    explicit DictationActivationSource(Kind kind) : m_kind(std::move(kind)) {}

    static DictationActivationSource menuBarLeftClick(int clickCount, const QString& modifiers)
    {
        return DictationActivationSource(Kind(MenuBarLeftClick{clickCount, modifiers}));
    }
    static DictationActivationSource menuBarRightClick() { return DictationActivationSource(Kind(MenuBarRightClick{})); }
    static DictationActivationSource popoverRecordButton() { return DictationActivationSource(Kind(PopoverRecordButton{})); }
    static DictationActivationSource popoverCancelButton() { return DictationActivationSource(Kind(PopoverCancelButton{})); }
    static DictationActivationSource globalHotKey() { return DictationActivationSource(Kind(GlobalHotKey{})); }
    static DictationActivationSource doubleTapModifier() { return DictationActivationSource(Kind(DoubleTapModifier{})); }
    static DictationActivationSource commandLine() { return DictationActivationSource(Kind(CommandLine{})); }
    static DictationActivationSource unknown(const QString& description) { return DictationActivationSource(Kind(Unknown{description})); }

    const Kind& kind() const { return m_kind; }
    // "menuBarLeftClick", "globalHotKey", ...
    QString logName() const;
    QMap<QString, QString> details() const;

    // Mouse modifiers as "command+option+control+shift+capsLock" (those present, in
    // that order), or "none". Flags are the event modifier-flag word.
    static QString modifierDescription(std::uint64_t flags);

private:
    Kind m_kind;
};

} // namespace velmora
