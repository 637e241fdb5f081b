#include "BrowserBridgeHost.h"

#include "BrowserBridge.h"
#include "BrowserBridgeCodec.h"
#include "LineDecoder.h"

#include "Platform/Linux/BridgeSocket.h"

#include <csignal>
#include <optional>

namespace velmora::BrowserBridgeHost {

void log(const QString& message)
{
    BridgeSocket::writeAll(BridgeSocket::standardError, "Velmora host: " + message.toUtf8() + '\n');
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
    BridgeSocket::close(*socket);
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
    // Requests wait here until the socket takes them, so the host never sits
    // in a blocking write while the application is blocked writing its replies
    // to us: a browser that sends many requests at once cannot deadlock the pair.
    QByteArray toApplication;
    constexpr qsizetype backlogLimit = 1 << 20;
    BridgeSocket::setNonBlocking(socketFd, true);

    for (;;) {
        BridgeSocket::Watch watches[2] = {
            {input, toApplication.size() < backlogLimit, false},
            {socketFd, true, !toApplication.isEmpty()},
        };
        if (BridgeSocket::waitForAny(watches))
            return 1;
        const BridgeSocket::Watch& browserSide = watches[0];
        const BridgeSocket::Watch& applicationSide = watches[1];
        if (applicationSide.readable) {
            const auto chunk = BridgeSocket::readSome(socketFd, readChunk);
            if (std::holds_alternative<platform::SystemError>(chunk))
                return 0;
            if (const auto* bytes = std::get_if<QByteArray>(&chunk)) {
                if (bytes->isEmpty())
                    return 0;
                const auto lines = application.feed(*bytes);
                if (std::holds_alternative<BrowserBridgeCodecError>(lines))
                    return 0;
                // Events pass through untouched: the application's bytes are what the browser gets.
                for (const QByteArray& line : std::get<QList<QByteArray>>(lines)) {
                    if (!BridgeSocket::writeAll(output, NativeMessagingFrameDecoder::frame(line)))
                        return 0;
                }
            }
        }
        if (applicationSide.writable && !toApplication.isEmpty()) {
            const auto sent = BridgeSocket::sendSome(socketFd, toApplication);
            if (std::holds_alternative<platform::SystemError>(sent))
                return 0;
            toApplication.remove(0, std::get<qsizetype>(sent));
        }
        if (browserSide.readable) {
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
                    toApplication += LineDecoder::line(BrowserBridgeCodec::encode(*request));
                    continue;
                }
                if (const auto failure = BrowserBridgeCodec::answer(std::get<BrowserBridgeCodecError>(decoded))) {
                    if (!BridgeSocket::writeAll(output, NativeMessagingFrameDecoder::frame(BrowserBridgeCodec::encode(*failure))))
                        return 0;
                    continue;
                }
                log(QStringLiteral("dropped invalid message"));
            }
        }
    }
    // The browser went away: what it asked for still goes out, and a dictation
    // it started must not go on without it.
    if (lastStarted)
        toApplication += LineDecoder::line(BrowserBridgeCodec::encode(BrowserBridgeRequest::cancel(*lastStarted)));
    BridgeSocket::setNonBlocking(socketFd, false);
    BridgeSocket::writeAll(socketFd, toApplication);
    return 0;
}

} // namespace velmora::BrowserBridgeHost
