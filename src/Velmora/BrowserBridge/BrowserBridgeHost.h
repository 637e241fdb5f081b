#pragma once

#include <QString>

namespace velmora {

// The process the browser starts for native messaging: a relay between the
// browser's length-prefixed frames on stdin/stdout and the application's
// newline-separated lines on its socket. Single-threaded, one poll loop.
namespace BrowserBridgeHost {

// Exit status: 0 for an orderly end, 1 when waiting fails or the browser's
// framing breaks before the application was reached, 2 for a foreign origin.
int run(const QString& origin, const QString& socketPath, int input, int output);
int answerAppNotRunning(int input, int output);
int relay(int socketFd, int input, int output);

// One diagnostic line on standard error, prefixed "Velmora host: ".
void log(const QString& message);

inline constexpr qsizetype maximumBrowserFrame = 65536;
inline constexpr qsizetype maximumApplicationLine = 262144;
inline constexpr qsizetype readChunk = 16384;

} // namespace BrowserBridgeHost

} // namespace velmora
