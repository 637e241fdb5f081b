#include "BrowserBridgeFailureCode.h"

namespace velmora {

QString rawValue(BrowserBridgeFailureCode code)
{
    switch (code) {
    case BrowserBridgeFailureCode::appNotRunning: return QStringLiteral("app_not_running");
    case BrowserBridgeFailureCode::busy: return QStringLiteral("busy");
    case BrowserBridgeFailureCode::liveMode: return QStringLiteral("live_mode");
    case BrowserBridgeFailureCode::modelUnavailable: return QStringLiteral("model_unavailable");
    case BrowserBridgeFailureCode::microphoneDenied: return QStringLiteral("microphone_denied");
    case BrowserBridgeFailureCode::bridgeDisabled: return QStringLiteral("bridge_disabled");
    case BrowserBridgeFailureCode::protocol: return QStringLiteral("protocol");
    case BrowserBridgeFailureCode::internal: return QStringLiteral("internal");
    }
    return {};
}

std::optional<BrowserBridgeFailureCode> browserBridgeFailureCode(const QString& raw)
{
    for (int i = 0; i <= int(BrowserBridgeFailureCode::internal); ++i) {
        const auto code = BrowserBridgeFailureCode(i);
        if (rawValue(code) == raw)
            return code;
    }
    return std::nullopt;
}

} // namespace velmora
