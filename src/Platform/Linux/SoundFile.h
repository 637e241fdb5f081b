#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace velmora::platform {

// A sound file decoded whole into interleaved signed 16-bit samples (any format libsndfile reads).
struct DecodedSound {
    std::vector<short> samples;
    int rate = 0;
    int channels = 0;
};

namespace SoundFile {

std::optional<DecodedSound> decode(const QString& path);

} // namespace SoundFile

} // namespace velmora::platform
