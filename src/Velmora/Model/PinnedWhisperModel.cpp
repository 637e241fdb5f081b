#include "PinnedWhisperModel.h"

namespace velmora {

PinnedWhisperModel PinnedWhisperModel::largeV3TurboQ5()
{
    return {
        QStringLiteral("ggml-large-v3-turbo-q5_0.bin"),
        QUrl(QStringLiteral("https://huggingface.co/ggerganov/whisper.cpp/resolve/"
                            "5359861c739e955e79d9a303bcbc70fb988958b1/ggml-large-v3-turbo-q5_0.bin")),
        QStringLiteral("394221709cd5ad1f40c46e6031ca61bce88931e6e088c188294c6d5a55ffa7e2"),
        574041195,
    };
}

} // namespace velmora
