#include "ConfigurationStore.h"

#include "Preferences/PreferenceKeys.h"

#include "Platform/PreferencesStore.h"

namespace velmora::ConfigurationStore {

void save(const WhisperConfiguration& configuration, platform::PreferencesStore& defaults)
{
    // A failed write is logged by the store and the values still apply in this session.
    defaults.setString(PreferenceKeys::executablePath, configuration.executablePath);
    defaults.setString(PreferenceKeys::modelPath, configuration.modelPath);
    defaults.setString(PreferenceKeys::language, configuration.language);
}

} // namespace velmora::ConfigurationStore
