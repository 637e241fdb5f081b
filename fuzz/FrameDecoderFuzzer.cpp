// libFuzzer target: bytes split into chunks at positions taken from the input.
#include "BrowserBridge/LineDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    velmora::NativeMessagingFrameDecoder decoder(65536);
    size_t at = 1;
    qsizetype total = 0;
    while (at < size) {
        const size_t step = 1 + (data[at] % 23) * (data[0] % 5 + 1);
        const size_t end = std::min(size, at + step);
        const auto frames = decoder.feed(QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(end - at)));
        if (std::holds_alternative<velmora::BrowserBridgeCodecError>(frames))
            return 0;
        for (const QByteArray& payload : std::get<QList<QByteArray>>(frames)) {
            if (payload.size() > 65536)
                __builtin_trap();
            total += payload.size() + 4;
        }
        at = end;
    }
    if (total > qsizetype(size))
        __builtin_trap();
    return 0;
}
