// libFuzzer target: any bytes as the model's verification marker file.
#include "Model/VerificationMarker.h"

#include <cstddef>
#include <cstdint>

using velmora::VerificationMarker;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto marker = VerificationMarker::fromJson(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!marker)
        return 0;
    // A marker read back from its own file is the same marker: otherwise a good model is hashed again at every launch.
    const auto again = VerificationMarker::fromJson(marker->toJson());
    if (!again || *again != *marker)
        __builtin_trap();
    return 0;
}
