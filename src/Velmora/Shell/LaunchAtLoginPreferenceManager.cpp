#include "LaunchAtLoginPreferenceManager.h"

#include "Preferences/PreferenceKeys.h"

#include "Platform/LogCategories.h"

#include <QDir>
#include <QFileInfo>

namespace velmora::LaunchAtLoginPreferenceManager {

namespace {

QString resolved(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

LaunchAtLogin::LaunchAtLoginPreferenceStore store(platform::PreferencesStore& defaults)
{
    return {defaults, PreferenceKeys::launchAtLogin};
}

bool canManageLaunchAtLogin(const QString& bundlePath, const QString& home, const QString& opt)
{
    const QString bundle = resolved(bundlePath);
    if (bundle.isEmpty())
        return false;
    const QString folder = QFileInfo(bundle).absolutePath();
    for (const QString& applications : {opt, home + QStringLiteral("/Applications")}) {
        const QString place = resolved(applications);
        if (!place.isEmpty() && folder == place)
            return true;
    }
    return false;
}

void apply(platform::PreferencesStore& defaults, LaunchAtLogin::LaunchAtLoginManaging& manager,
           const QString& bundlePath, const QString& home, const QString& opt)
{
    if (!canManageLaunchAtLogin(bundlePath, home, opt))
        return;
    const auto outcome = manager.update(store(defaults).load(true));
    // Not the user's to act on: the switch simply shows the wish.
    if (const auto* error = std::get_if<LaunchAtLogin::LaunchAtLoginManagerError>(&outcome))
        qCWarning(logging::shell).noquote() << error->description();
}

void setEnabled(bool enabled, platform::PreferencesStore& defaults, LaunchAtLogin::LaunchAtLoginManaging& manager,
                const QString& bundlePath, const QString& home, const QString& opt)
{
    store(defaults).save(enabled);
    apply(defaults, manager, bundlePath, home, opt);
}

} // namespace velmora::LaunchAtLoginPreferenceManager
