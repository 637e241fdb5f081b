#include "Platform/TransientMarkers.h"

#include <algorithm>

namespace velmora::platform {

const std::vector<SelectionFormat>& transientMarkers()
{
    static const std::vector<SelectionFormat> markers{
        {QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret")},
        {QStringLiteral("application/x-copyq-hidden"), QByteArrayLiteral("1")},
        {QStringLiteral("application/x-copyq-secret"), QByteArrayLiteral("1")},
    };
    return markers;
}

bool carriesTransientMarker(const std::vector<SelectionFormat>& formats)
{
    return std::any_of(formats.cbegin(), formats.cend(), [](const SelectionFormat& format) {
        return std::any_of(transientMarkers().cbegin(), transientMarkers().cend(),
                           [&](const SelectionFormat& marker) { return marker.name == format.name; });
    });
}

} // namespace velmora::platform
