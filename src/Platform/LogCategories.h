#pragma once

#include <QLoggingCategory>

// Every diagnostics category, declared and defined once: "Velmora.<Component>".
// Filter them with QT_LOGGING_RULES, for example "Velmora.AudioDevices.debug=true".
namespace velmora::logging {

Q_DECLARE_LOGGING_CATEGORY(launch)
Q_DECLARE_LOGGING_CATEGORY(shell)
Q_DECLARE_LOGGING_CATEGORY(preferences)
Q_DECLARE_LOGGING_CATEGORY(singleInstance)
Q_DECLARE_LOGGING_CATEGORY(warmUp)
Q_DECLARE_LOGGING_CATEGORY(vocabulary)
Q_DECLARE_LOGGING_CATEGORY(audioDevices)
Q_DECLARE_LOGGING_CATEGORY(sounds)
Q_DECLARE_LOGGING_CATEGORY(hotKey)
Q_DECLARE_LOGGING_CATEGORY(session)
Q_DECLARE_LOGGING_CATEGORY(doubleTap)
Q_DECLARE_LOGGING_CATEGORY(activation)
Q_DECLARE_LOGGING_CATEGORY(updates)

} // namespace velmora::logging
