#pragma once

#include <QString>

namespace velmora {

// The process the browser starts for native messaging.
namespace BrowserBridgeHost {

// Exit status: 2 for a foreign origin; otherwise the relay's status.
int run(const QString& origin, const QString& socketPath, int input, int output);

// One diagnostic line on standard error, prefixed "Velmora host: ".
void log(const QString& message);

} // namespace BrowserBridgeHost

} // namespace velmora
