#pragma once

#include <QString>

#include <chrono>
#include <optional>
#include <variant>

namespace AppUpdater {

// Why an update was not installed; the installed copy is as it was in every case.
struct UpdateInstallError {
    enum class Kind { notReplaceable, unpackFailed, incompleteBundle, bundleDoesNotRun, swapFailed };
    Kind kind;
    QString detail;

    QString description() const;
};

// Installing a verified archive beside the installed bundle, in steps that
// each leave a copy that runs: unpack into a staging folder on the same file
// system, check the new bundle is whole and starts, and only after the running
// copy has exited swap the two folders in one step, start the new copy, and
// remove the old one. Blocking: run it off the main thread.
namespace UpdateInstaller {

// The staging folders' prefix, beside the installed bundle; leftovers are removed at the next start.
inline const QString stagingPrefix = QStringLiteral(".Velmora-update-");

// Whether this copy may replace itself: it can write its bundle and the folder around it,
// and nobody else can, since they could swap the archive or the staged copy before the swap.
bool canReplace(const QString& installedBundle);
// A note for a copy that cannot: how to update it instead.
QString replacementNote(const QString& installedBundle);
// Unpacks and checks the archive; the new bundle's path in its staging folder.
std::variant<QString, UpdateInstallError> stage(const QString& archivePath, const QString& installedBundle);
// The same from an archive already open (and verified through this descriptor).
std::variant<QString, UpdateInstallError> stage(int archiveDescriptor, const QString& installedBundle);
// What `velmora --finish-update <pid> <staged> <installed>` does, from the staged copy:
// waits for `oldPid` to exit (giving up, and swapping nothing, after `patience`),
// swaps, starts the installed copy, removes the old one. 0 when the new copy runs.
// The swap goes through the folder opened before the wait, and only while nobody else can write to it.
int finish(qint64 oldPid, const QString& stagedBundle, const QString& installedBundle,
           std::chrono::milliseconds patience = std::chrono::minutes(2));
// Removes staging folders left beside the installed bundle by an interrupted update.
void removeLeftovers(const QString& installedBundle);

} // namespace UpdateInstaller

} // namespace AppUpdater
