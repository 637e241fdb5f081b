#pragma once

#include "Platform/GlobalShortcutSource.h"
#include "Platform/KeyboardLayoutSource.h"
#include "Platform/ModifierTapSource.h"

#include <QHash>
#include <QPair>

#include <vector>

namespace velmora::test {

// A layout given as a table: (classic key code, level mask) -> text.
class TableLayout final : public platform::KeyboardLayoutSource {
public:
    using Table = QHash<QPair<std::uint32_t, std::uint32_t>, QString>;
    explicit TableLayout(Table table = {}, bool available = true) : m_table(std::move(table)), m_available(available) {}

    bool hasLayout() const override { return m_available; }
    std::optional<QString> typedText(std::uint32_t keyCode, std::uint32_t level) const override
    {
        const auto it = m_table.constFind({keyCode, level});
        if (!m_available || it == m_table.constEnd())
            return std::nullopt;
        return *it;
    }
    void switchTo(Table table)
    {
        m_table = std::move(table);
        emit layoutChanged();
    }

    // A US keyboard: letters, digits and punctuation with their Shift level.
    static Table us();
    // A German keyboard as far as the tests need it: Z and Y swapped, "|" on the ISO
    // key with AltGr, "(" on Shift+8, "@" on AltGr+Q.
    static Table german();

private:
    Table m_table;
    bool m_available;
};

// Records grabs; refuses what it is told to.
class RecordingShortcuts final : public platform::GlobalShortcutSource {
public:
    std::optional<platform::ShortcutGrabError> grab(const platform::ShortcutGrab& shortcut) override
    {
        grabs.push_back(shortcut);
        current.reset();
        if (refuseWith)
            return refuseWith;
        current = shortcut;
        return std::nullopt;
    }
    void release() override { current.reset(); }
    void press(std::uint32_t signature, std::uint32_t id) { emit pressed(signature, id); }

    std::vector<platform::ShortcutGrab> grabs;
    std::optional<platform::ShortcutGrab> current;
    std::optional<platform::ShortcutGrabError> refuseWith;
};

class ScriptedModifierTaps final : public platform::ModifierTapSource {
public:
    bool canObserve() const override { return observable; }
    bool start() override { return running = observable; }
    void stop() override { running = false; }
    void report(double time, std::uint64_t flags) { emit modifierFlagsChanged(time, flags); }

    bool observable = true;
    bool running = false;
};

inline TableLayout::Table TableLayout::us()
{
    Table table;
    const struct {
        std::uint32_t key;
        const char* plain;
        const char* shifted;
    } keys[] = {
        {0, "a", "A"},   {1, "s", "S"},   {2, "d", "D"},  {3, "f", "F"},  {4, "h", "H"},  {5, "g", "G"},
        {6, "z", "Z"},   {7, "x", "X"},   {8, "c", "C"},  {9, "v", "V"},  {11, "b", "B"}, {12, "q", "Q"},
        {13, "w", "W"},  {14, "e", "E"},  {15, "r", "R"}, {16, "y", "Y"}, {17, "t", "T"}, {18, "1", "!"},
        {19, "2", "@"},  {20, "3", "#"},  {21, "4", "$"}, {22, "6", "^"}, {23, "5", "%"}, {24, "=", "+"},
        {25, "9", "("},  {26, "7", "&"},  {27, "-", "_"}, {28, "8", "*"}, {29, "0", ")"}, {30, "]", "}"},
        {31, "o", "O"},  {32, "u", "U"},  {33, "[", "{"}, {34, "i", "I"}, {35, "p", "P"}, {37, "l", "L"},
        {38, "j", "J"},  {39, "'", "\""}, {40, "k", "K"}, {41, ";", ":"}, {42, "\\", "|"}, {43, ",", "<"},
        {44, "/", "?"},  {45, "n", "N"},  {46, "m", "M"}, {47, ".", ">"}, {49, " ", " "}, {50, "`", "~"},
    };
    for (const auto& key : keys) {
        table.insert({key.key, 0}, QString::fromUtf8(key.plain));
        table.insert({key.key, 0x200}, QString::fromUtf8(key.shifted));
    }
    return table;
}

inline TableLayout::Table TableLayout::german()
{
    Table table = us();
    table[{6, 0}] = QStringLiteral("y");
    table[{6, 0x200}] = QStringLiteral("Y");
    table[{16, 0}] = QStringLiteral("z");
    table[{16, 0x200}] = QStringLiteral("Z");
    table[{10, 0}] = QStringLiteral("<");
    table[{10, 0x200}] = QStringLiteral(">");
    table[{10, 0x800}] = QStringLiteral("|");
    table[{42, 0}] = QStringLiteral("#");
    table[{42, 0x200}] = QStringLiteral("'");
    table[{28, 0x200}] = QStringLiteral("(");
    table[{25, 0x200}] = QStringLiteral(")");
    table[{12, 0x800}] = QStringLiteral("@");
    return table;
}

} // namespace velmora::test
