#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmora {

// The native-messaging host manifest for Microsoft Edge on Linux.
namespace BrowserBridgeManifest {

inline const QString hostName = QStringLiteral("com.orvane.velmora");

struct Status {
    enum class Kind { registered, removed, notRegistered, failed };
    Kind kind;
    QString message; // notRegistered, failed

    // "Registered for Microsoft Edge", "Off", or the message.
    QString text() const;
    bool operator==(const Status&) const = default;
};

// $XDG_CONFIG_HOME/microsoft-edge/NativeMessagingHosts/com.orvane.velmora.json, at the moment of the call.
QString manifestPath();
QByteArray contents(const QString& executablePath);
// Only a bundle directly inside /opt/ or ~/Applications/ (or anything, when allowed).
bool isRegistrable(const QString& executablePath, const QString& home, bool allowAnyPath);
Status install(const std::optional<QString>& executablePath, const QString& home, bool allowAnyPath);
Status remove();

} // namespace BrowserBridgeManifest

} // namespace velmora
