#include "WhisperModelState.h"

#include <algorithm>

namespace velmora {

std::optional<QString> WhisperModelState::unavailableMessage() const
{
    switch (kind) {
    case Kind::downloading: {
        const double fraction = totalBytes < 1 ? 0.0 : std::min(double(receivedBytes) / double(totalBytes), 1.0);
        const int percent = totalBytes < 1 ? 0 : int(fraction * 100);
        return QStringLiteral("The speech model is downloading (%1 %). Recording works once it is done.").arg(percent);
    }
    case Kind::failed:
        return QStringLiteral("The speech model download failed: ") + message;
    case Kind::checking:
    case Kind::verifying:
        return QStringLiteral("The speech model is being checked. Try again in a moment.");
    case Kind::missing:
        return QStringLiteral("The speech model is not downloaded yet.");
    case Kind::ready:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace velmora
