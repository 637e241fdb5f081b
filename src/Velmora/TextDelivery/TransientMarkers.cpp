#include "TransientMarkers.h"

namespace velmora {

const std::vector<platform::SelectionFormat>& transientMarkers()
{
    static const std::vector<platform::SelectionFormat> markers{
        {QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret")},
        {QStringLiteral("application/x-copyq-hidden"), QByteArrayLiteral("1")},
        {QStringLiteral("application/x-copyq-secret"), QByteArrayLiteral("1")},
    };
    return markers;
}

} // namespace velmora
