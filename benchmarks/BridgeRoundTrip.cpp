// Round trip of one request and its reply through a real host process and
// the server: browser frame in, socket line, reply line, browser frame out.
// Prints the median and the 99th percentile over 10,000 round trips.
#include "BrowserBridge/BrowserBridge.h"
#include "BrowserBridge/BrowserBridgeCodec.h"
#include "BrowserBridge/BrowserBridgeServer.h"
#include "BrowserBridge/LineDecoder.h"
#include "Paths/VelmoraPaths.h"

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace velmora;

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    BrowserBridgeServer server(
        VelmoraPaths::bridgeSocketPath(),
        [](const BrowserBridgeRequest& request, const std::shared_ptr<BrowserBridgeConnection>& connection) {
            connection->send(BrowserBridgeEvent::recording(request.session));
        },
        {});
    if (server.start())
        return 1;
    QProcess host;
    host.start(QStringLiteral(VELMORA_BUNDLE_DIR "/bin/velmora"), {BrowserBridge::allowedOrigin});
    if (!host.waitForStarted())
        return 1;

    constexpr int rounds = 10000;
    std::vector<double> micros;
    micros.reserve(rounds);
    NativeMessagingFrameDecoder decoder(1 << 20);
    const QByteArray frame = NativeMessagingFrameDecoder::frame(BrowserBridgeCodec::encode(BrowserBridgeRequest::start("bench")));
    for (int i = 0; i < rounds; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        host.write(frame);
        host.waitForBytesWritten(-1);
        for (bool got = false; !got;) {
            host.waitForReadyRead(-1);
            got = !std::get<QList<QByteArray>>(decoder.feed(host.readAllStandardOutput())).isEmpty();
        }
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begin).count());
    }
    host.closeWriteChannel();
    host.waitForFinished();
    std::sort(micros.begin(), micros.end());
    std::printf("bridge round trip over %d: median %.0f us, p99 %.0f us, max %.0f us\n", rounds, micros[rounds / 2],
                micros[size_t(rounds * 0.99)], micros.back());
    return 0;
}
