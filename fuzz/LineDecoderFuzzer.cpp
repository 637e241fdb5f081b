// libFuzzer target: bytes split into chunks at positions taken from the input.
#include "BrowserBridge/LineDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    velmora::LineDecoder decoder(64 + data[0]);
    size_t at = 1;
    qsizetype total = 0;
    while (at < size) {
        const size_t step = 1 + (data[at] % 37);
        const size_t end = std::min(size, at + step);
        const auto lines = decoder.feed(QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(end - at)));
        if (std::holds_alternative<velmora::BrowserBridgeCodecError>(lines))
            return 0;
        for (const QByteArray& line : std::get<QList<QByteArray>>(lines)) {
            if (line.isEmpty() || line.contains('\n') || line.size() > 64 + data[0])
                __builtin_trap();
            total += line.size();
        }
        at = end;
    }
    if (total > qsizetype(size))
        __builtin_trap();
    return 0;
}
