#include "LogCategories.h"

namespace velmora::logging {

Q_LOGGING_CATEGORY(launch, "Velmora.Launch")
Q_LOGGING_CATEGORY(shell, "Velmora.Shell")
Q_LOGGING_CATEGORY(preferences, "Velmora.Preferences")
Q_LOGGING_CATEGORY(singleInstance, "Velmora.SingleInstance")
Q_LOGGING_CATEGORY(warmUp, "Velmora.WarmUp")
Q_LOGGING_CATEGORY(vocabulary, "Velmora.Vocabulary")
Q_LOGGING_CATEGORY(audioDevices, "Velmora.AudioDevices")
Q_LOGGING_CATEGORY(sounds, "Velmora.Sounds")
Q_LOGGING_CATEGORY(hotKey, "Velmora.HotKey")
Q_LOGGING_CATEGORY(session, "Velmora.Session")
Q_LOGGING_CATEGORY(doubleTap, "Velmora.DoubleTap")
Q_LOGGING_CATEGORY(activation, "Velmora.Activation")
Q_LOGGING_CATEGORY(updates, "Velmora.Updates")

} // namespace velmora::logging
