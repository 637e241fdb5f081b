#pragma once

#include <QToolButton>

#include <optional>

namespace velmora {

enum class Symbol;

// A selectable chip: the chosen one in the accent colour on a quarter of it,
// the others secondary on a faint ground. Space or a click chooses it. The
// settings screen is made anew each time it opens, so a new theme shows then.
class SettingsChip : public QToolButton {
    Q_OBJECT
public:
    SettingsChip(const QString& title, std::optional<Symbol> symbol, QWidget* parent = nullptr);

private:
    void applyStyle();

    std::optional<Symbol> m_symbol;
};

} // namespace velmora
