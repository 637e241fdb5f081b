// The VAD model setup converts and the bundle carries, checked against the ONNX
// reference runtime and through the real whisper-cli.
#include "Engine/BundledWhisperRuntime.h"
#include "Engine/WhisperTranscriber.h"

#include "Platform/Linux/MainBundle.h"

#include "TestSupport.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace velmora;

namespace {

const QString sentence = QStringLiteral("Hello, this is a test of voice activity detection.");

struct Segment {
    double start;
    double end;
};

class VadModel : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new QTemporaryDir;
        const auto sox = [](const QStringList& arguments) {
            const auto result = test::runProcess(QStringLiteral("sox"), arguments);
            return result.exitCode == 0 ? QString() : QString::fromUtf8(result.standardError);
        };
        const QString raw = path("spoken-22k.wav");
        const auto spoken = test::runProcess(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), raw, sentence});
        ASSERT_EQ(spoken.exitCode, 0) << spoken.standardError.toStdString();
        const QStringList pcm{QStringLiteral("-r"), QStringLiteral("16000"), QStringLiteral("-c"), QStringLiteral("1"),
                              QStringLiteral("-b"), QStringLiteral("16")};
        ASSERT_EQ(sox(QStringList{raw} << pcm << path("speech.wav") << QStringLiteral("vol") << QStringLiteral("0.9")), "");
        ASSERT_EQ(sox(QStringList{QStringLiteral("-n")} << pcm << path("silence-3s.wav") << QStringLiteral("trim")
                                                        << QStringLiteral("0") << QStringLiteral("3")), "");
        ASSERT_EQ(sox({path("silence-3s.wav"), path("speech.wav"), path("silence-3s.wav"), path("padded.wav")}), "");
        ASSERT_EQ(sox(QStringList{QStringLiteral("-n")} << pcm << path("silence.wav") << QStringLiteral("trim")
                                                        << QStringLiteral("0") << QStringLiteral("5")), "");
        ASSERT_EQ(sox(QStringList{QStringLiteral("-n")} << pcm << path("noise.wav") << QStringLiteral("synth")
                                                        << QStringLiteral("5") << QStringLiteral("pinknoise")
                                                        << QStringLiteral("vol") << QStringLiteral("0.01")), "");
        const auto length = test::runProcess(QStringLiteral("soxi"), {QStringLiteral("-D"), path("speech.wav")});
        speechSeconds = length.standardOutput.trimmed().toDouble();
    }
    static void TearDownTestSuite() { delete folder; }

    void SetUp() override
    {
        const auto bundle = platform::MainBundle::forExecutable(test::bundleDir() + QStringLiteral("/bin/velmora"),
                                                                std::nullopt);
        runtime = BundledWhisperRuntime::current(bundle);
        ASSERT_TRUE(runtime) << "the build tree has no whisper runtime; run scripts/setup";
        ASSERT_TRUE(runtime->vadModelPath) << "the bundle carries no VAD model; run scripts/setup";
    }

    static QString path(const char* name) { return folder->path() + QLatin1Char('/') + QLatin1String(name); }

    static std::vector<double> numbers(const QByteArray& lines)
    {
        std::vector<double> values;
        for (const QByteArray& line : lines.split('\n')) {
            if (!line.trimmed().isEmpty())
                values.push_back(line.toDouble());
        }
        return values;
    }

    // whisper-cli's VAD on a file: the speech segments it logs (-np would silence them).
    std::vector<Segment> segments(const QString& wav) const
    {
        const auto result = test::runProcess(
            runtime->executablePath,
            {QStringLiteral("-m"), test::testModel(), QStringLiteral("-f"), wav, QStringLiteral("--vad"),
             QStringLiteral("--vad-model"), *runtime->vadModelPath, QStringLiteral("-t"), QStringLiteral("2")},
            QProcessEnvironment::systemEnvironment(), std::chrono::seconds(120));
        EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
        std::vector<Segment> found;
        static const QRegularExpression line(QStringLiteral("VAD segment \\d+: start = ([0-9.]+), end = ([0-9.]+)"));
        auto matches = line.globalMatch(QString::fromUtf8(result.standardError));
        while (matches.hasNext()) {
            const auto match = matches.next();
            found.push_back({match.captured(1).toDouble(), match.captured(2).toDouble()});
        }
        return found;
    }

    static inline QTemporaryDir* folder = nullptr;
    static inline double speechSeconds = 0;
    std::optional<BundledWhisperRuntime> runtime;
};

TEST_F(VadModel, TheBundleCarriesItUnderTheNameTheEngineLooksFor)
{
    EXPECT_EQ(QFileInfo(*runtime->vadModelPath).fileName(), "ggml-silero-v6.2.0.bin");
    EXPECT_GT(QFileInfo(*runtime->vadModelPath).size(), 800'000);
}

TEST_F(VadModel, AgreesWithTheReferenceRuntimeWindowByWindow)
{
    ASSERT_FALSE(QString::fromUtf8(VELMORA_VAD_PROBE).isEmpty()) << "no whisper.cpp libraries in the cache; run scripts/setup";
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral(VELMORA_ONNX_RUNTIME))) << "run scripts/setup --for-tests";
    const auto reference = [](const char* name, const char* lead) {
        const auto run = test::runProcess(QStringLiteral("node"),
                                          {QStringLiteral(VELMORA_VAD_REFERENCE), QStringLiteral(VELMORA_ONNX_RUNTIME),
                                           QStringLiteral(VELMORA_VAD_ONNX), path(name), QLatin1String(lead)},
                                          QProcessEnvironment::systemEnvironment(), std::chrono::seconds(120));
        EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
        return numbers(run.standardOutput);
    };
    for (const char* name : {"speech.wav", "padded.wav", "silence.wav", "noise.wav"}) {
        const auto ours = test::runProcess(QStringLiteral(VELMORA_VAD_PROBE), {*runtime->vadModelPath, path(name)});
        ASSERT_EQ(ours.exitCode, 0) << ours.standardError.toStdString();
        const auto actual = numbers(ours.standardOutput);
        ASSERT_FALSE(actual.empty()) << name;

        // Fed as whisper.cpp feeds it (each window led by its own mirrored start),
        // the reference computes what the converted graph computes: only the f16
        // convolutions differ. A wrong layout or gate order would be far off.
        const auto mirrored = reference(name, "mirror");
        ASSERT_EQ(mirrored.size(), actual.size()) << name;
        double largest = 0;
        for (size_t i = 0; i < actual.size(); ++i)
            largest = std::max(largest, std::abs(actual[i] - mirrored[i]));
        std::printf("%s: %zu windows, largest difference %.4f (same feeding)", name, actual.size(), largest);
        EXPECT_LT(largest, 0.05) << name;

        // Fed as Silero's own wrapper feeds it (the previous window's end as context),
        // single probabilities move at speech edges, but the decisions stay.
        const auto wrapped = reference(name, "context");
        ASSERT_EQ(wrapped.size(), actual.size()) << name;
        double largestWrapped = 0;
        size_t disagreements = 0;
        for (size_t i = 0; i < actual.size(); ++i) {
            largestWrapped = std::max(largestWrapped, std::abs(actual[i] - wrapped[i]));
            disagreements += (actual[i] > 0.5) != (wrapped[i] > 0.5);
        }
        std::printf(", %.4f and %zu of %zu decisions apart (Silero's feeding)\n", largestWrapped, disagreements,
                    actual.size());
        EXPECT_LE(disagreements * 50, actual.size()) << name << ": more than 2% of the windows decided otherwise";
    }
}

TEST_F(VadModel, WhisperCliFindsTheWordsAndNothingInSilenceOrNoise)
{
    const auto spoken = segments(path("speech.wav"));
    ASSERT_FALSE(spoken.empty());
    EXPECT_LT(spoken.front().start, 0.3);
    EXPECT_GT(spoken.back().end, speechSeconds - 0.6);

    // The same words after and before three seconds of silence: only the words.
    const auto padded = segments(path("padded.wav"));
    ASSERT_FALSE(padded.empty());
    EXPECT_GE(padded.front().start, 2.8);
    EXPECT_LT(padded.front().start, 3.3);
    EXPECT_GT(padded.back().end, 3.0 + speechSeconds - 0.6);
    EXPECT_LE(padded.back().end, 3.0 + speechSeconds + 0.4);

    EXPECT_TRUE(segments(path("silence.wav")).empty());
    EXPECT_TRUE(segments(path("noise.wav")).empty());
}

TEST_F(VadModel, TheTranscriberRunsTheBundledModelAndSilenceGivesNoText)
{
    QTemporaryDir output;
    const auto shipped = runtime;
    const auto lookup = [shipped] { return shipped; };
    WhisperTranscriber transcriber(output.path(), WhisperTranscriber::defaultVadModelPathResolver(lookup), lookup);
    const WhisperConfiguration configuration{runtime->executablePath, test::testModel(), QStringLiteral("en")};
    // The test model invents text for anything it is given; with VAD it is given nothing.
    const auto result = transcriber.transcribe(path("silence.wav"), configuration, std::nullopt, true);
    ASSERT_TRUE(std::holds_alternative<QString>(result))
        << std::get<WhisperTranscriberError>(result).description().toStdString();
    EXPECT_EQ(std::get<QString>(result), QString());
}

} // namespace
