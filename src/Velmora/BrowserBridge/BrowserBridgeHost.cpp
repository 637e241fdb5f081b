#include "BrowserBridgeHost.h"

#include "BrowserBridge.h"
#include "BrowserBridgeCodec.h"
#include "LineDecoder.h"

#include "Platform/Linux/BridgeSocket.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <optional>

namespace velmora::BrowserBridgeHost {

void log(const QString& message)
{
    BridgeSocket::writeAll(STDERR_FILENO, "Velmora host: " + message.toUtf8() + '\n');
}

int run(const QString& origin, const QString& socketPath, int input, int output)
{
    if (origin != BrowserBridge::allowedOrigin) {
        log(QStringLiteral("rejected origin ") + origin);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const auto socket = BridgeSocket::connect(socketPath);
    if (!socket)
        return answerAppNotRunning(input, output);
    const int status = relay(*socket, input, output);
    ::close(*socket);
    return status;
}

int answerAppNotRunning(int input, int output)
{
    NativeMessagingFrameDecoder decoder(maximumBrowserFrame);
    for (;;) {
        const auto chunk = BridgeSocket::read(input, readChunk);
        if (!chunk || chunk->isEmpty())
            return 0;
        const auto payloads = decoder.feed(*chunk);
        if (std::holds_alternative<BrowserBridgeCodecError>(payloads))
            return 1;
        for (const QByteArray& payload : std::get<QList<QByteArray>>(payloads)) {
            const auto decoded = BrowserBridgeCodec::decodeRequest(payload);
            const auto* request = std::get_if<BrowserBridgeRequest>(&decoded);
            if (!request || request->kind != BrowserBridgeRequest::Kind::start)
                continue;
            BridgeSocket::writeAll(output, NativeMessagingFrameDecoder::frame(BrowserBridgeCodec::encode(
                                               BrowserBridgeEvent::failed(request->session,
                                                                          BrowserBridgeFailureCode::appNotRunning,
                                                                          BrowserBridgeMessages::appNotRunning))));
            return 0;
        }
    }
}

int relay(int socketFd, int input, int output)
{
    NativeMessagingFrameDecoder browser(maximumBrowserFrame);
    LineDecoder application(maximumApplicationLine);
    std::optional<QString> lastStarted;
    pollfd entries[2] = {{input, POLLIN, 0}, {socketFd, POLLIN, 0}};
    for (;;) {
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (entries[1].revents != 0) {
            const auto chunk = BridgeSocket::read(socketFd, readChunk);
            if (!chunk || chunk->isEmpty())
                return 0;
            const auto lines = application.feed(*chunk);
            if (std::holds_alternative<BrowserBridgeCodecError>(lines))
                return 0;
            // Events pass through untouched: the application's bytes are what the browser gets.
            for (const QByteArray& line : std::get<QList<QByteArray>>(lines)) {
                if (!BridgeSocket::writeAll(output, NativeMessagingFrameDecoder::frame(line)))
                    return 0;
            }
        }
        if (entries[0].revents != 0) {
            const auto chunk = BridgeSocket::read(input, readChunk);
            if (!chunk || chunk->isEmpty())
                break;
            const auto payloads = browser.feed(*chunk);
            if (std::holds_alternative<BrowserBridgeCodecError>(payloads))
                break;
            for (const QByteArray& payload : std::get<QList<QByteArray>>(payloads)) {
                const auto decoded = BrowserBridgeCodec::decodeRequest(payload);
                if (const auto* request = std::get_if<BrowserBridgeRequest>(&decoded)) {
                    if (request->kind == BrowserBridgeRequest::Kind::start)
                        lastStarted = request->session;
                    // The application only ever sees the canonical form.
                    if (!BridgeSocket::writeAll(socketFd, LineDecoder::line(BrowserBridgeCodec::encode(*request))))
                        return 0;
                    continue;
                }
                const auto& error = std::get<BrowserBridgeCodecError>(decoded);
                if (error.kind() == BrowserBridgeCodecError::Kind::invalidMessage && error.session()) {
                    const auto failure = BrowserBridgeEvent::failed(*error.session(), BrowserBridgeFailureCode::protocol,
                                                                    BrowserBridgeMessages::invalidMessage);
                    if (!BridgeSocket::writeAll(output, NativeMessagingFrameDecoder::frame(BrowserBridgeCodec::encode(failure))))
                        return 0;
                    continue;
                }
                log(QStringLiteral("dropped invalid message"));
            }
        }
    }
    // The browser went away: a dictation it started must not go on without it.
    if (lastStarted)
        BridgeSocket::writeAll(socketFd, LineDecoder::line(BrowserBridgeCodec::encode(BrowserBridgeRequest::cancel(*lastStarted))));
    return 0;
}

} // namespace velmora::BrowserBridgeHost
