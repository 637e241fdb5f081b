#pragma once

#include <QColor>
#include <QFont>

class QCheckBox;
class QLabel;
class QPalette;
class QWidget;

namespace velmora {

enum class Symbol;

// The settings' few shared looks: sizes, the secondary and tertiary text, and
// the label with a symbol that every toggle and section title uses.
namespace SettingsStyle {

QFont font(const QFont& base, int pixels, QFont::Weight weight = QFont::Normal);
QColor secondary(const QPalette& palette);
QColor tertiary(const QPalette& palette);
// 12 px medium, secondary, with the symbol; `objectName` names it for tests.
QCheckBox* toggle(const QString& text, Symbol symbol, const QString& objectName, QWidget* parent);
// A section's title: the symbol and the text in 12 px medium, secondary.
QWidget* sectionTitle(const QString& text, Symbol symbol, QWidget* parent);
// 11 px tertiary text that wraps, indented under a toggle's label when `indent`.
QLabel* caption(const QString& text, bool indent, QWidget* parent);
// Puts `widgets`, in order, just before `before` in the Tab order: controls
// made after the screen was built otherwise come last, wherever they sit.
void placeBeforeInTabOrder(const QList<QWidget*>& widgets, QWidget* before);

} // namespace SettingsStyle

} // namespace velmora
