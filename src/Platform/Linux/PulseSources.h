#pragma once

#include "PulseAudioConnection.h"

#include <QList>
#include <QString>

namespace velmora::platform {

// What the sound server says about one input (monitors of outputs excluded).
struct PulseSource {
    quint32 index = 0;
    QString name;        // persistent
    QString description; // shown to people
    QString formFactor;  // device.form_factor
    QString bus;         // device.bus
    int channels = 0;
};

namespace PulseSources {

// The server's sources in its order, without monitors. Blocks on the server:
// call it off the GUI thread.
QList<PulseSource> list(const PulseAudioConnection& connection);

} // namespace PulseSources

} // namespace velmora::platform
