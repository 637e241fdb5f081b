// libFuzzer target: any bytes as a second launch's request to the running copy.
#include "SingleInstance/DuplicateLaunchRequest.h"

#include <cstddef>
#include <cstdint>

using SingleInstance::DuplicateLaunchRequest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto request = DuplicateLaunchRequest::fromJson(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!request)
        return 0;
    // Once written by us, a request reads back to what was written.
    const QByteArray written = request->toJson();
    const auto again = DuplicateLaunchRequest::fromJson(written);
    if (!again || again->toJson() != written)
        __builtin_trap();
    return 0;
}
