#pragma once

#include "LaunchAtLogin/LaunchAtLoginManaging.h"
#include "LaunchAtLogin/LaunchAtLoginPreferenceStore.h"

#include <QString>

namespace velmora {

namespace platform {
class PreferencesStore;
}

// Brings the autostart entry in line with the user's wish, but only for an
// installed copy: a build tree or a download folder never touches it.
namespace LaunchAtLoginPreferenceManager {

LaunchAtLogin::LaunchAtLoginPreferenceStore store(platform::PreferencesStore& defaults);
inline const QString systemApplications = QStringLiteral("/opt");

// True for a bundle root directly inside /opt or ~/Applications, links resolved.
bool canManageLaunchAtLogin(const QString& bundlePath, const QString& home, const QString& opt = systemApplications);
// The settings switch: the wish is saved, then applied where allowed.
void setEnabled(bool enabled, platform::PreferencesStore& defaults, LaunchAtLogin::LaunchAtLoginManaging& manager,
                const QString& bundlePath, const QString& home, const QString& opt = systemApplications);
// Every launch: the stored wish (on when none) applied where allowed.
void apply(platform::PreferencesStore& defaults, LaunchAtLogin::LaunchAtLoginManaging& manager,
           const QString& bundlePath, const QString& home, const QString& opt = systemApplications);

} // namespace LaunchAtLoginPreferenceManager

} // namespace velmora
