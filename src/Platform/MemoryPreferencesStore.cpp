#include "MemoryPreferencesStore.h"

namespace velmora::platform {

std::optional<QJsonValue> MemoryPreferencesStore::object(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

std::optional<PreferencesError> MemoryPreferencesStore::setObject(const QString& key, const QJsonValue& value)
{
    QMutexLocker lock(&m_mutex);
    m_values.insert(key, value);
    return std::nullopt;
}

std::optional<PreferencesError> MemoryPreferencesStore::remove(const QString& key)
{
    QMutexLocker lock(&m_mutex);
    m_values.remove(key);
    return std::nullopt;
}

} // namespace velmora::platform
