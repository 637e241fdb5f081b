#pragma once

#include <QString>

namespace velmora {

namespace platform {
class PreferencesStore;
}

// Lines for `velmora --dump-runtime`: the stored trigger, whether its hot key can
// be registered right now, and whether double taps can be seen. Needs a
// QCoreApplication.
QString activationInputDescription(platform::PreferencesStore& defaults);

} // namespace velmora
