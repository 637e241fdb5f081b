#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace LaunchAtLogin {

// The Exec key of a desktop entry, by the freedesktop rules: each argument
// quoted where it holds a reserved character, '%' doubled, and the whole value
// escaped again as a string value.
namespace DesktopEntryExec {

QString quote(const QStringList& arguments);
// The arguments a desktop would run; none when the value breaks the rules.
std::optional<QStringList> split(const QString& value);
// A plain string value (TryExec, Name): backslashes and line breaks escaped.
QString escapeString(const QString& value);
QString unescapeString(const QString& value);

} // namespace DesktopEntryExec

} // namespace LaunchAtLogin
