// Writes a tiny whisper model in the ggml format that whisper.cpp loads: the
// English vocabulary size and special tokens, the real audio geometry (80 mel
// bins, 1500 audio positions), a short text context, one encoder and one
// decoder layer of width 8,
// and weights drawn from a fixed-seed generator. It hears nothing sensible,
// but the real tools load it and run every step on it, so the tests exercise
// them without downloading a real model.
//
//   TestModelMaker <output file>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t vocabularySize = 51864; // English: the special tokens sit where the tools expect them
constexpr int32_t audioContext = 1500;
// A short text context: random weights rarely end a segment, so the decoder runs to its limit (half the
// context) for every beam and fallback temperature; with 448 that took minutes on a busy machine.
constexpr int32_t textContext = 32;
constexpr int32_t width = 8;
constexpr int32_t heads = 2;
constexpr int32_t layers = 1;
constexpr int32_t melBins = 80;
constexpr int32_t fftBins = 201;

// IEEE half precision, rounded to nearest; the weights here are small and never overflow.
uint16_t toHalf(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const uint16_t sign = uint16_t((bits >> 16) & 0x8000u);
    const int exponent = int((bits >> 23) & 0xff) - 127 + 15;
    uint32_t mantissa = bits & 0x7fffffu;
    if (exponent <= 0) {
        if (exponent < -10)
            return sign;
        mantissa |= 0x800000u;
        const int shift = 14 - exponent;
        return uint16_t(sign | ((mantissa + (1u << (shift - 1))) >> shift));
    }
    if (exponent >= 31)
        return uint16_t(sign | 0x7c00u);
    const uint32_t rounded = ((uint32_t(exponent) << 10) | (mantissa >> 13)) + ((mantissa >> 12) & 1u);
    return uint16_t(sign | rounded);
}

class Writer {
public:
    explicit Writer(const std::string& path) : m_out(path, std::ios::binary) {}
    bool good() const { return m_out.good(); }
    void i32(int32_t value) { m_out.write(reinterpret_cast<const char*>(&value), sizeof value); }
    void u32(uint32_t value) { m_out.write(reinterpret_cast<const char*>(&value), sizeof value); }
    void bytes(const std::string& text) { m_out.write(text.data(), std::streamsize(text.size())); }
    void halves(const std::vector<float>& values)
    {
        for (const float value : values) {
            const uint16_t half = toHalf(value);
            m_out.write(reinterpret_cast<const char*>(&half), sizeof half);
        }
    }
    void floats(const std::vector<float>& values)
    {
        m_out.write(reinterpret_cast<const char*>(values.data()), std::streamsize(values.size() * sizeof(float)));
    }

private:
    std::ofstream m_out;
};

class Model {
public:
    explicit Model(Writer& out) : m_out(out) {}

    // Layer-norm gains are one and biases zero, so the random weights stay in a sane range. Matrices
    // and convolution kernels are half precision, as in a model of type f16; the rest is f32.
    void tensor(const std::string& name, std::vector<int32_t> shape)
    {
        const bool isHalf = shape.size() >= 2 && name.size() > 7 && name.compare(name.size() - 7, 7, ".weight") == 0;
        size_t count = 1;
        for (const int32_t n : shape)
            count *= size_t(n);
        const bool isBias = name.size() > 5 && name.compare(name.size() - 5, 5, ".bias") == 0;
        const bool isNormGain = !isBias && (name.find("ln") != std::string::npos) && shape.size() == 1;
        std::vector<float> values(count);
        for (float& value : values)
            value = isBias ? 0.0f : isNormGain ? 1.0f : m_weight(m_random);
        m_out.i32(int32_t(shape.size()));
        m_out.i32(int32_t(name.size()));
        m_out.i32(isHalf ? 1 : 0);
        for (const int32_t n : shape)
            m_out.i32(n);
        m_out.bytes(name);
        if (isHalf)
            m_out.halves(values);
        else
            m_out.floats(values);
    }

    void block(const std::string& prefix, bool cross)
    {
        const auto attention = [&](const std::string& part) {
            tensor(prefix + part + "_ln.weight", {width});
            tensor(prefix + part + "_ln.bias", {width});
            tensor(prefix + part + ".query.weight", {width, width});
            tensor(prefix + part + ".query.bias", {width});
            tensor(prefix + part + ".key.weight", {width, width});
            tensor(prefix + part + ".value.weight", {width, width});
            tensor(prefix + part + ".value.bias", {width});
            tensor(prefix + part + ".out.weight", {width, width});
            tensor(prefix + part + ".out.bias", {width});
        };
        attention("attn");
        if (cross)
            attention("cross_attn");
        tensor(prefix + "mlp_ln.weight", {width});
        tensor(prefix + "mlp_ln.bias", {width});
        tensor(prefix + "mlp.0.weight", {width, 4 * width});
        tensor(prefix + "mlp.0.bias", {4 * width});
        tensor(prefix + "mlp.2.weight", {4 * width, width});
        tensor(prefix + "mlp.2.bias", {width});
    }

    std::mt19937& random() { return m_random; }

private:
    Writer& m_out;
    std::mt19937 m_random{20261210};
    std::normal_distribution<float> m_weight{0.0f, 0.02f};
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: TestModelMaker <output file>\n");
        return 64;
    }
    const std::string path = argv[1];
    const std::string temporary = path + ".tmp";
    {
        Writer out(temporary);
        Model model(out);
        out.u32(0x67676d6c); // "ggml"
        for (const int32_t value : {vocabularySize, audioContext, width, heads, layers, textContext, width, heads, layers,
                                    melBins, int32_t(1) /* f16 */})
            out.i32(value);

        // A plain triangular filter bank.
        out.i32(melBins);
        out.i32(fftBins);
        std::vector<float> filters(size_t(melBins) * fftBins, 0.0f);
        for (int m = 0; m < melBins; ++m) {
            const int centre = 1 + m * (fftBins - 2) / melBins;
            for (int k = centre - 2; k <= centre + 2; ++k) {
                if (k >= 0 && k < fftBins)
                    filters[size_t(m) * fftBins + size_t(k)] = 0.01f * float(3 - std::abs(k - centre));
            }
        }
        out.floats(filters);

        // Text tokens are short made-up words; the special tokens follow as the tools number them.
        const int32_t textTokens = 50256;
        out.i32(textTokens);
        for (int32_t i = 0; i < textTokens; ++i) {
            // The tools look up the single space by name (220, as in the real vocabulary).
            const std::string word = i == 220 ? std::string(" ") : " w" + std::to_string(i);
            out.u32(uint32_t(word.size()));
            out.bytes(word);
        }

        model.tensor("encoder.positional_embedding", {width, audioContext});
        model.tensor("encoder.conv1.weight", {3, melBins, width});
        model.tensor("encoder.conv1.bias", {1, width});
        model.tensor("encoder.conv2.weight", {3, width, width});
        model.tensor("encoder.conv2.bias", {1, width});
        model.tensor("encoder.ln_post.weight", {width});
        model.tensor("encoder.ln_post.bias", {width});
        for (int i = 0; i < layers; ++i)
            model.block("encoder.blocks." + std::to_string(i) + ".", false);
        model.tensor("decoder.positional_embedding", {width, textContext});
        model.tensor("decoder.token_embedding.weight", {width, vocabularySize});
        model.tensor("decoder.ln.weight", {width});
        model.tensor("decoder.ln.bias", {width});
        for (int i = 0; i < layers; ++i)
            model.block("decoder.blocks." + std::to_string(i) + ".", true);
        if (!out.good()) {
            std::fprintf(stderr, "TestModelMaker: cannot write %s\n", temporary.c_str());
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::perror("TestModelMaker");
        return 1;
    }
    return 0;
}
