#pragma once

#include <QString>

#include <optional>

namespace velmora {

enum class BrowserBridgeFailureCode {
    appNotRunning,
    busy,
    liveMode,
    modelUnavailable,
    microphoneDenied,
    bridgeDisabled,
    protocol,
    internal,
};

// "app_not_running", "busy", ...
QString rawValue(BrowserBridgeFailureCode code);
std::optional<BrowserBridgeFailureCode> browserBridgeFailureCode(const QString& raw);

namespace BrowserBridgeMessages {
inline const QString appNotRunning = QStringLiteral("Velmora läuft nicht. Bitte die App starten.");
inline const QString busy = QStringLiteral("Velmora diktiert gerade bereits.");
inline const QString liveMode = QStringLiteral("Velmora ist im Live-Modus. Bitte auf Standard umstellen.");
inline const QString modelNotReady = QStringLiteral("Das Sprachmodell ist nicht bereit.");
inline const QString bridgeDisabled = QStringLiteral("Die Browser-Anbindung von Velmora ist ausgeschaltet.");
inline const QString invalidMessage = QStringLiteral("Ungültige Nachricht.");
} // namespace BrowserBridgeMessages

} // namespace velmora
