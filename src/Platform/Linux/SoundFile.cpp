#include "SoundFile.h"

#include <QFile>

#include <sndfile.h>

namespace velmora::platform::SoundFile {

std::optional<DecodedSound> decode(const QString& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return std::nullopt;
    DecodedSound sound{std::vector<short>(size_t(info.frames) * size_t(info.channels)), info.samplerate, info.channels};
    const sf_count_t read = sf_readf_short(file, sound.samples.data(), info.frames);
    sf_close(file);
    sound.samples.resize(size_t(read) * size_t(info.channels));
    return sound;
}

} // namespace velmora::platform::SoundFile
