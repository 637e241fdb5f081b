#include "PinnedWhisperModel.h"

namespace velmora {

PinnedWhisperModel PinnedWhisperModel::largeV3TurboQ5()
{
    return {QStringLiteral("ggml-large-v3-turbo-q5_0.bin")};
}

} // namespace velmora
