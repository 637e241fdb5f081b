#pragma once

#include "PreferencesStore.h"

#include <QHash>
#include <QMutex>

namespace velmora::platform {

// A store that lives only in memory: for code that must not touch the user's
// file, and for tests of the readers.
class MemoryPreferencesStore final : public PreferencesStore {
public:
    std::optional<QJsonValue> object(const QString& key) const override;
    std::optional<PreferencesError> setObject(const QString& key, const QJsonValue& value) override;
    std::optional<PreferencesError> remove(const QString& key) override;

private:
    mutable QMutex m_mutex;
    QHash<QString, QJsonValue> m_values;
};

} // namespace velmora::platform
