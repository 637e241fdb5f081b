#pragma once

#include "WhisperConfiguration.h"

namespace velmora {

namespace ConfigurationStore {

// Writes the executable, the model and the language, in that order.
void save(const WhisperConfiguration& configuration, platform::PreferencesStore& defaults);

} // namespace ConfigurationStore

} // namespace velmora
