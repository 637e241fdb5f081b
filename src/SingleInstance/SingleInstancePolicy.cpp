#include "SingleInstancePolicy.h"

#include "Platform/PreferencesStore.h"

namespace SingleInstance {

SingleInstancePolicy::SingleInstancePolicy(Kind kind, std::shared_ptr<const velmora::platform::PreferencesStore> defaults,
                                           QString key)
    : m_kind(kind)
    , m_defaults(std::move(defaults))
    , m_key(std::move(key))
{
}

SingleInstancePolicy SingleInstancePolicy::userDefaults(std::shared_ptr<const velmora::platform::PreferencesStore> defaults,
                                                        QString allowMultipleInstancesKey)
{
    return {Kind::userDefaults, std::move(defaults), std::move(allowMultipleInstancesKey)};
}

SingleInstancePolicy SingleInstancePolicy::alwaysSingle()
{
    return {Kind::alwaysSingle, nullptr, {}};
}

bool SingleInstancePolicy::allowsMultipleInstances() const
{
    if (m_kind != Kind::userDefaults || !m_defaults)
        return false;
    return m_defaults->boolValue(m_key).value_or(false);
}

} // namespace SingleInstance
