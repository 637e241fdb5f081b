#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace velmora::platform {

// What the user calls an application: the Name of its desktop entry, else its
// identifier (the X11 class or the Wayland app_id). Never a window's title,
// which holds document names, mail subjects and password entry titles.
namespace ApplicationName {

// The entry `<identifier>.desktop` (as written, then in lower case) in the
// applications folders of $XDG_DATA_HOME and $XDG_DATA_DIRS, first found wins.
// Looked up once per identifier for the process.
QString of(const QString& identifier);

// The untranslated Name of a desktop entry's [Desktop Entry] group.
std::optional<QString> nameInDesktopEntry(const QByteArray& entry);

// Where entries are looked for, most personal first.
QStringList applicationFolders();

} // namespace ApplicationName

} // namespace velmora::platform
