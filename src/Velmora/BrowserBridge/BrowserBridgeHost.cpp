#include "BrowserBridgeHost.h"

#include "BrowserBridge.h"

#include <unistd.h>

namespace velmora::BrowserBridgeHost {

void log(const QString& message)
{
    const QByteArray line = "Velmora host: " + message.toUtf8() + '\n';
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.constData() + done, size_t(line.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

int run(const QString& origin, const QString& socketPath, int input, int output)
{
    (void)input;
    (void)output;
    if (origin != BrowserBridge::allowedOrigin) {
        log(QStringLiteral("rejected origin ") + origin);
        return 2;
    }
    // Until this build carries the relay, say so plainly instead of leaving the browser waiting.
    log(QStringLiteral("this build cannot relay to the application yet (socket ") + socketPath + QLatin1Char(')'));
    return 1;
}

} // namespace velmora::BrowserBridgeHost
