#pragma once

#include <QString>

namespace velmora {

// One input device: a sound-server source that is not a monitor of an output.
struct AudioInputDevice {
    quint32 id = 0;       // the server's index, valid while the device is present
    QString uid;          // source name, stable across restarts and replugging
    QString name;         // description, as people see it (and as SDL2 names it)
    bool isBuiltIn = false;
    int inputChannels = 0;

    bool operator==(const AudioInputDevice&) const = default;

    // form factor "internal", or no form factor on the PCI bus.
    static bool isBuiltInDevice(const QString& formFactor, const QString& bus);
};

} // namespace velmora
