// Writes Velmora's two short sounds as Ogg Vorbis files:
//   SoundMaker <folder>
// Start: two soft rising tones; stop: the same falling. Sine partials with a
// gentle attack and an exponential decay, so they are clear without being sharp.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int rate = 48000;

void addTone(std::vector<float>& samples, double start, double frequency, double length, double level)
{
    const int first = int(start * rate);
    const int count = int(length * rate);
    if (samples.size() < size_t(first + count))
        samples.resize(size_t(first + count), 0.0f);
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        const double attack = std::min(1.0, t / 0.008);
        const double decay = std::exp(-t * 9.0);
        const double tone = std::sin(2 * M_PI * frequency * t) + 0.25 * std::sin(2 * M_PI * 2 * frequency * t);
        samples[size_t(first + i)] += float(level * attack * decay * tone);
    }
}

bool write(const std::string& path, const std::vector<float>& samples)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const bool ok = sf_write_float(file, samples.data(), sf_count_t(samples.size())) == sf_count_t(samples.size());
    sf_close(file);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: SoundMaker <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<float> start, stop;
    addTone(start, 0.0, 659.25, 0.30, 0.35); // E5
    addTone(start, 0.09, 987.77, 0.35, 0.35); // B5
    addTone(stop, 0.0, 987.77, 0.30, 0.35);
    addTone(stop, 0.09, 659.25, 0.35, 0.35);
    if (!write(folder + "/recording-start.oga", start) || !write(folder + "/recording-stop.oga", stop)) {
        std::fprintf(stderr, "SoundMaker: cannot write the sounds: %s\n", sf_strerror(nullptr));
        return 1;
    }
    return 0;
}
