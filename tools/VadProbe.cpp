// Per-window speech probabilities of whisper.cpp's own VAD on a ggml VAD model,
// one per line, for comparing a converted model with its reference runtime.
//   VadProbe model.bin file.wav
#include <sndfile.h>
#include <whisper.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: VadProbe model.bin file.wav\n");
        return 64;
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(argv[2], SFM_READ, &info);
    if (!file || info.channels != 1 || info.samplerate != 16000) {
        std::fprintf(stderr, "want a 16 kHz mono sound file\n");
        return 65;
    }
    std::vector<float> samples(static_cast<size_t>(info.frames));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);

    whisper_log_set([](ggml_log_level, const char*, void*) {}, nullptr);
    auto params = whisper_vad_default_context_params();
    params.n_threads = 1;
    whisper_vad_context* vad = whisper_vad_init_from_file_with_params(argv[1], params);
    if (!vad) {
        std::fprintf(stderr, "the VAD model does not load\n");
        return 66;
    }
    if (!whisper_vad_detect_speech(vad, samples.data(), static_cast<int>(samples.size()))) {
        whisper_vad_free(vad);
        return 70;
    }
    const float* probabilities = whisper_vad_probs(vad);
    for (int i = 0; i < whisper_vad_n_probs(vad); ++i)
        std::printf("%.6f\n", probabilities[i]);
    whisper_vad_free(vad);
    return 0;
}
