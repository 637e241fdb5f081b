#pragma once

#include <QString>

#include <memory>

namespace velmora::platform {
class PreferencesStore;
}

namespace SingleInstance {

// Whether this launch enforces a single running copy.
class SingleInstancePolicy {
public:
    enum class Kind { userDefaults, alwaysSingle };

    // Enforcement is off when the boolean stored under the key is true.
    static SingleInstancePolicy userDefaults(std::shared_ptr<const velmora::platform::PreferencesStore> defaults,
                                             QString allowMultipleInstancesKey);
    static SingleInstancePolicy alwaysSingle();

    Kind kind() const { return m_kind; }
    bool allowsMultipleInstances() const;

private:
    SingleInstancePolicy(Kind kind, std::shared_ptr<const velmora::platform::PreferencesStore> defaults, QString key);

    Kind m_kind;
    std::shared_ptr<const velmora::platform::PreferencesStore> m_defaults;
    QString m_key;
};

} // namespace SingleInstance
