#include "LaunchAtLoginPreferenceStore.h"

#include "Platform/LogCategories.h"
#include "Platform/PreferencesStore.h"

#include <QJsonValue>

namespace LaunchAtLogin {

LaunchAtLoginPreferenceStore::LaunchAtLoginPreferenceStore(velmora::platform::PreferencesStore& defaults,
                                                           QString preferenceKey)
    : m_defaults(defaults)
    , m_key(std::move(preferenceKey))
{
}

std::optional<bool> LaunchAtLoginPreferenceStore::storedValue() const
{
    const auto value = m_defaults.object(m_key);
    if (!value || !value->isBool())
        return std::nullopt;
    return value->toBool();
}

bool LaunchAtLoginPreferenceStore::load(bool defaultEnabled) const
{
    return storedValue().value_or(defaultEnabled);
}

void LaunchAtLoginPreferenceStore::save(bool enabled) const
{
    if (const auto error = m_defaults.setObject(m_key, enabled))
        qCWarning(velmora::logging::preferences).noquote()
            << "the launch-at-login choice was not saved:" << velmora::platform::describe(*error);
}

} // namespace LaunchAtLogin
