#pragma once

#include <QString>

#include <optional>

namespace velmora::platform {
class PreferencesStore;
}

namespace LaunchAtLogin {

// The user's wish, kept apart from the desktop's state: absent means on.
class LaunchAtLoginPreferenceStore {
public:
    LaunchAtLoginPreferenceStore(velmora::platform::PreferencesStore& defaults, QString preferenceKey);

    // Only a stored Boolean counts; anything else is as if nothing were stored.
    std::optional<bool> storedValue() const;
    bool load(bool defaultEnabled) const;
    void save(bool enabled) const;

private:
    velmora::platform::PreferencesStore& m_defaults;
    QString m_key;
};

} // namespace LaunchAtLogin
