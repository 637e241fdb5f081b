#include "AudioInputDevice.h"

namespace velmora {

bool AudioInputDevice::isBuiltInDevice(const QString& formFactor, const QString& bus)
{
    if (!formFactor.isEmpty())
        return formFactor == QLatin1String("internal");
    return bus == QLatin1String("pci");
}

} // namespace velmora
