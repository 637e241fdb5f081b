// libFuzzer target: any bytes into the request decoder.
#include "BrowserBridge/BrowserBridgeCodec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto decoded = velmora::BrowserBridgeCodec::decodeRequest(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    // What decodes must encode and decode back to itself.
    if (const auto* request = std::get_if<velmora::BrowserBridgeRequest>(&decoded)) {
        const auto again = velmora::BrowserBridgeCodec::decodeRequest(velmora::BrowserBridgeCodec::encode(*request));
        if (!std::holds_alternative<velmora::BrowserBridgeRequest>(again)
            || std::get<velmora::BrowserBridgeRequest>(again) != *request)
            __builtin_trap();
    }
    return 0;
}
