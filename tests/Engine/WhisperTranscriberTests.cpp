#include "Engine/WhisperTranscriber.h"

#include "Platform/Linux/BackgroundThread.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include <future>

using namespace velmora;
using test::readFile;
using test::writeFile;
using test::writeScript;

namespace {

// A transcriber whose tools are scripts in a temporary folder; no shipped runtime.
class WhisperTranscriberTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(model(), "model");
        writeFile(audio(), "RIFF");
        descriptorsBefore = test::openDescriptorCount();
    }

    void TearDown() override
    {
        EXPECT_TRUE(test::childProcesses().isEmpty()) << "a child process was left behind";
        EXPECT_EQ(test::openDescriptorCount(), descriptorsBefore) << "a descriptor leaked";
        EXPECT_TRUE(QDir(output.path()).entryList({QStringLiteral("velmora-output-*")}, QDir::Files).isEmpty())
            << "an output file was left behind";
    }

    QString model() const { return tools.path() + QStringLiteral("/model.bin"); }
    QString audio() const { return tools.path() + QStringLiteral("/velmora-rec.wav"); }
    QString tool(const char* name, const QByteArray& body) const
    {
        return writeScript(tools.path() + QLatin1Char('/') + QLatin1String(name), body);
    }
    WhisperConfiguration configuration(const QString& executable) const
    {
        return {executable, model(), QStringLiteral("auto")};
    }
    WhisperTranscriber transcriber(WhisperTranscriber::VadModelPathResolver resolver = {}) const
    {
        return WhisperTranscriber(output.path(), resolver ? resolver : [](const WhisperConfiguration&) {
            return std::optional<QString>();
        }, [] { return std::optional<BundledWhisperRuntime>(); });
    }

    // A run of a tool that would take 30 s, returned once the tool is running.
    std::future<WhisperTranscriber::Result> startSlowRun(WhisperTranscriber& transcriber, const QString& slow) const
    {
        auto run = std::async(std::launch::async, [this, &transcriber, slow] {
            return transcriber.transcribe(audio(), configuration(slow), std::nullopt, false);
        });
        EXPECT_TRUE(test::waitUntil([&] { return QFile::exists(startedMarker()); }, std::chrono::seconds(10)));
        return run;
    }
    QString startedMarker() const { return tools.path() + QStringLiteral("/started"); }
    QString slowTool() const { return tool("slow", "touch '" + startedMarker().toUtf8() + "'\nexec sleep 30\n"); }

    // Writes the text after -of, as whisper-cli does.
    static QByteArray writesTranscript(const QByteArray& text)
    {
        return "while [ $# -gt 0 ]; do [ \"$1\" = -of ] && out=$2; shift; done\nprintf '" + text + "' > \"$out.txt\"\n";
    }

    QTemporaryDir tools;
    QTemporaryDir output;
    int descriptorsBefore = 0;
};

TEST(WhisperTranscriberArguments, FollowTheToolsCommandLine)
{
    const WhisperConfiguration configuration{QStringLiteral("/cli"), QStringLiteral("/m.bin"), QStringLiteral("auto")};
    const QStringList base{"-m", "/m.bin", "-f", "/a.wav", "-l", "auto", "-otxt", "-of", "/o/base", "-np", "-nt"};
    struct Case {
        const char* name;
        std::optional<QString> prompt;
        std::optional<QString> vad;
        QStringList tail;
    };
    const Case cases[] = {
        {"plain", std::nullopt, std::nullopt, {}},
        {"empty prompt adds nothing", QString(), std::nullopt, {}},
        {"prompt is one argument as is", QStringLiteral("-Kube \"ctl\" a b"), std::nullopt,
         {"--prompt", "-Kube \"ctl\" a b"}},
        {"vad after the prompt", QStringLiteral("p"), QStringLiteral("/vad.bin"),
         {"--prompt", "p", "--vad", "--vad-model", "/vad.bin", "--vad-speech-pad-ms", "200",
          "--vad-min-silence-duration-ms", "500"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WhisperTranscriber::arguments(QStringLiteral("/a.wav"), configuration, QStringLiteral("/o/base"),
                                                c.prompt, c.vad),
                  base + c.tail)
            << c.name;
    }
}

TEST(WhisperTranscriberArguments, VadOnlyWithTheShippedCliAndAnExistingModel)
{
    const BundledWhisperRuntime withVad{QStringLiteral("/b/whisper-cli"), std::nullopt, QStringLiteral("/b/vad.bin")};
    const BundledWhisperRuntime withoutVad{QStringLiteral("/b/whisper-cli"), std::nullopt, std::nullopt};
    struct Case {
        const char* name;
        std::optional<BundledWhisperRuntime> runtime;
        QString executable;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"shipped cli with its model", withVad, QStringLiteral("/b/whisper-cli"), QStringLiteral("/b/vad.bin")},
        {"a user's cli", withVad, QStringLiteral("/usr/bin/whisper-cli"), std::nullopt},
        {"no shipped runtime", std::nullopt, QStringLiteral("/b/whisper-cli"), std::nullopt},
        {"shipped runtime without the model", withoutVad, QStringLiteral("/b/whisper-cli"), std::nullopt},
    };
    for (const auto& c : cases) {
        const auto resolver = WhisperTranscriber::defaultVadModelPathResolver([&] { return c.runtime; });
        EXPECT_EQ(resolver({c.executable, QStringLiteral("/m"), QStringLiteral("en")}), c.expected) << c.name;
    }
}

TEST_F(WhisperTranscriberTest, OnlyBackgroundWorkRunsAtLowPriorityAndOtherThreadsKeepTheirs)
{
    // The tool notes its own nice value (field 19 of its stat line).
    const QString niceFile = tools.path() + QStringLiteral("/nice");
    const QString cli = tool("cli", "cut -d' ' -f19 /proc/self/stat >> '" + niceFile.toUtf8() + "'\nexit 1\n");
    const auto niceValues = [&] { return test::readFile(niceFile).split('\n').mid(0, 3); };

    // The stand-in tool fails on purpose; only the priority it ran at matters here.
    const auto ran = [](const WhisperTranscriber::Result& result) {
        return std::holds_alternative<WhisperTranscriberError>(result);
    };
    auto dictation = transcriber();
    EXPECT_TRUE(ran(dictation.transcribe(audio(), configuration(cli), std::nullopt, false)));
    auto warmUp = transcriber();
    warmUp.setRunsInBackground(true);
    EXPECT_TRUE(ran(warmUp.transcribe(audio(), configuration(cli), std::nullopt, false)));
    // A background thread runs low itself, and another worker used afterwards does not.
    const int onBackgroundThread = platform::BackgroundThread::run<int>([] {
        return platform::BackgroundThread::currentNiceValue();
    }).result();
    int onOtherThread = -1;
    std::thread([&] {
        EXPECT_TRUE(ran(dictation.transcribe(audio(), configuration(cli), std::nullopt, false)));
        onOtherThread = platform::BackgroundThread::currentNiceValue();
    }).join();
    EXPECT_EQ(onBackgroundThread, 19);
    EXPECT_EQ(onOtherThread, 0);
    EXPECT_EQ(platform::BackgroundThread::currentNiceValue(), 0) << "the calling thread keeps its priority";
    EXPECT_EQ(niceValues(), (QList<QByteArray>{"0", "19", "0"})) << "dictation, warm-up, dictation from another thread";
    // The background thread hands its result over before it has quite ended; its event dispatcher goes with it.
    EXPECT_TRUE(test::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return test::openDescriptorCount() == descriptorsBefore;
    }));
}

TEST_F(WhisperTranscriberTest, ReturnsTheTrimmedTranscript)
{
    const QString cli = tool("cli", writesTranscript("\\n  Hello, Kubernetes world.  \\n\\n"));
    auto result = transcriber().transcribe(audio(), configuration(cli), std::nullopt, true);
    ASSERT_TRUE(std::holds_alternative<QString>(result)) << std::get<WhisperTranscriberError>(result).description().toStdString();
    EXPECT_EQ(std::get<QString>(result), QStringLiteral("Hello, Kubernetes world."));
    EXPECT_TRUE(QFile::exists(audio())) << "the recording belongs to its owner";
}

// The tool's text output is this user's alone from the moment it exists, and an empty text is
// no speech rather than a missing file.
TEST_F(WhisperTranscriberTest, TheTextOutputIsPrivateAndMayBeEmpty)
{
    const QString modes = tools.path() + QStringLiteral("/modes");
    const QString cli = tool("cli", "while [ $# -gt 0 ]; do [ \"$1\" = -of ] && out=$2; shift; done\n"
                                    ": > \"$out.txt\"\nstat -c %a \"$out.txt\" > '" + modes.toUtf8() + "'\n");
    const auto result = transcriber().transcribe(audio(), configuration(cli), std::nullopt, false);
    ASSERT_TRUE(std::holds_alternative<QString>(result)) << std::get<WhisperTranscriberError>(result).description().toStdString();
    EXPECT_EQ(std::get<QString>(result), QString());
    EXPECT_EQ(test::readFile(modes).trimmed(), "600");
    EXPECT_TRUE(QDir(output.path()).entryList({"velmora-output-*"}, QDir::Files).isEmpty()) << "removed after reading";

    // No folder at all: the tool is not started, and nothing is written where Velmora was started.
    const QString marker = tools.path() + QStringLiteral("/ran");
    WhisperTranscriber homeless(QString(), [](const WhisperConfiguration&) { return std::optional<QString>(); },
                                [] { return std::optional<BundledWhisperRuntime>(); });
    const auto refused = homeless.transcribe(audio(), configuration(tool("cli2", "touch '" + marker.toUtf8() + "'\n")),
                                             std::nullopt, false);
    ASSERT_TRUE(std::holds_alternative<WhisperTranscriberError>(refused));
    EXPECT_EQ(std::get<WhisperTranscriberError>(refused).kind(), WhisperTranscriberError::Kind::startFailed);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(WhisperTranscriberTest, FailuresCarryTheirTexts)
{
    struct Case {
        const char* name;
        QByteArray body;
        WhisperTranscriberError expected;
    };
    const Case cases[] = {
        {"status 1, silent", "exit 1\n", WhisperTranscriberError::processFailure("whisper-cli exited with status 1.")},
        {"status 2 with a message", "printf '\\n error: failed to read audio \\n' >&2\nexit 2\n",
         WhisperTranscriberError::processFailure("error: failed to read audio")},
        {"undecodable standard error", "printf '\\377\\376' >&2\nexit 4\n",
         WhisperTranscriberError::processFailure("whisper-cli exited with status 4.")},
        {"killed by a signal", "kill -KILL $$\n", WhisperTranscriberError::processFailure("whisper-cli exited with status 9.")},
        {"no output file", "exit 0\n", WhisperTranscriberError::outputMissing()},
    };
    for (const auto& c : cases) {
        const QString cli = tool("cli", c.body);
        auto result = transcriber().transcribe(audio(), configuration(cli), std::nullopt, false);
        ASSERT_TRUE(std::holds_alternative<WhisperTranscriberError>(result)) << c.name;
        EXPECT_EQ(std::get<WhisperTranscriberError>(result), c.expected) << c.name;
    }
    EXPECT_EQ(WhisperTranscriberError::outputMissing().description(),
              QStringLiteral("The transcription finished without a text output file."));
}

TEST_F(WhisperTranscriberTest, MissingToolOrModelIsReportedBeforeAnythingStarts)
{
    const QString marker = tools.path() + QStringLiteral("/ran");
    const QString cli = tool("cli", "touch '" + marker.toUtf8() + "'\n");
    auto missingModel = transcriber().transcribe(audio(), {cli, tools.path() + QStringLiteral("/none.bin"), "en"},
                                                 std::nullopt, false);
    EXPECT_EQ(std::get<WhisperTranscriberError>(missingModel).description(),
              QStringLiteral("Whisper model file not found at %1/none.bin. Download the speech model or pick another one in Settings.")
                  .arg(tools.path()));
    ::chmod(cli.toLocal8Bit().constData(), 0644);
    auto missingTool = transcriber().transcribe(audio(), configuration(cli), std::nullopt, false);
    EXPECT_EQ(std::get<WhisperTranscriberError>(missingTool).description(),
              QStringLiteral("whisper-cli was not found at %1. Install whisper.cpp and update the path in the app.").arg(cli));
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(WhisperTranscriberTest, BlankOutputIsAnEmptyTranscriptAndBrokenUtf8KeepsTheWords)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"\\n\\n   \\n", QString()},
        {"caf\\303 au lait", QStringLiteral("caf\uFFFD au lait")},
    };
    for (const auto& [written, expected] : cases) {
        auto result = transcriber().transcribe(audio(), configuration(tool("cli", writesTranscript(written))),
                                               std::nullopt, false);
        ASSERT_TRUE(std::holds_alternative<QString>(result));
        EXPECT_EQ(std::get<QString>(result), expected);
    }
}

TEST_F(WhisperTranscriberTest, ArgumentsArriveAsGivenAndNoDescriptorIsInherited)
{
    const QString args = tools.path() + QStringLiteral("/args");
    const QString fds = tools.path() + QStringLiteral("/fds");
    const QString cli = tool("cli", "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" + args.toUtf8()
                                        + "'\nexec ls -l /proc/self/fd/ > '" + fds.toUtf8() + "'\n");
    // A descriptor the application holds without close-on-exec must stay with it.
    const int leaky = ::open("/dev/zero", O_RDONLY);
    ASSERT_GE(leaky, 0);
    const QString prompt = QStringLiteral("-dash \"quoted\" 'single' $HOME `x` ;|&");
    // The tool only records what it got; whatever it returns is not the point here.
    [[maybe_unused]] const auto result =
        transcriber([&](const WhisperConfiguration&) { return std::optional<QString>(QStringLiteral("/vad model.bin")); })
            .transcribe(audio(), configuration(cli), prompt, true);
    ::close(leaky);

    const QList<QByteArray> received = readFile(args).split('\0');
    ASSERT_GE(received.size(), 14);
    EXPECT_EQ(received.at(11), "--prompt");
    EXPECT_EQ(QString::fromUtf8(received.at(12)), prompt);
    EXPECT_EQ(received.at(15), "/vad model.bin");

    const QByteArray listing = readFile(fds);
    EXPECT_FALSE(listing.contains("/dev/zero")) << listing.toStdString();
    EXPECT_TRUE(listing.contains("0 -> /dev/null")) << "standard input is never the application's";
}

TEST_F(WhisperTranscriberTest, CancellingStopsTheRunningToolAndLeavesTheTranscriberUsable)
{
    auto transcriber = this->transcriber();
    auto run = startSlowRun(transcriber, slowTool());
    // The tool may announce itself a moment before the transcriber has taken note of it: cancel until it ends.
    ASSERT_TRUE(test::waitUntil([&] {
        transcriber.cancelCurrentProcess();
        return run.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    }, std::chrono::seconds(10))) << "the tool was not stopped";
    const auto result = run.get();
    EXPECT_EQ(std::get<WhisperTranscriberError>(result),
              WhisperTranscriberError::processFailure("whisper-cli exited with status 15."));

    const auto again = transcriber.transcribe(audio(), configuration(tool("cli", writesTranscript("next"))),
                                              std::nullopt, false);
    EXPECT_EQ(std::get<QString>(again), QStringLiteral("next"));
}

TEST_F(WhisperTranscriberTest, InvalidatingStopsTheRunAndRefusesEveryLaterOne)
{
    const QString slow = slowTool();
    auto transcriber = this->transcriber();
    auto run = startSlowRun(transcriber, slow);
    transcriber.invalidate();
    ASSERT_EQ(run.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(std::get<WhisperTranscriberError>(run.get()).kind(), WhisperTranscriberError::Kind::processFailure);

    QFile::remove(startedMarker());
    const auto refused = transcriber.transcribe(audio(), configuration(slow), std::nullopt, false);
    EXPECT_EQ(std::get<WhisperTranscriberError>(refused), WhisperTranscriberError::cancelled());
    EXPECT_FALSE(QFile::exists(startedMarker())) << "an invalidated transcriber starts no process";
}

TEST_F(WhisperTranscriberTest, AChattyToolCannotBlockOnAFullPipe)
{
    // Two megabytes of diagnostics, far beyond a pipe's buffer.
    const QString cli = tool("cli", "head -c 2097152 /dev/zero | tr '\\0' x >&2\nexit 3\n");
    const auto result = transcriber().transcribe(audio(), configuration(cli), std::nullopt, false);
    EXPECT_EQ(std::get<WhisperTranscriberError>(result).payload().size(), 2097152);
}

TEST(WhisperTranscriberCleanUp, RemovesOnlyLeftoversOfEarlierRuns)
{
    QTemporaryDir dir;
    const QStringList stale{"velmora-output-ABC.txt", "velmora-1234.wav", "velmora-warmup-x.wav"};
    const QStringList kept{"velmora-output-ABC.log", "notes.wav", "velmora-output-x.txt.bak", "vocabulary.json"};
    for (const QString& name : stale + kept)
        writeFile(dir.filePath(name), "x");
    WhisperTranscriber::removeStaleTemporaryFiles(dir.path());
    QStringList left = QDir(dir.path()).entryList(QDir::Files);
    QStringList expected = kept;
    left.sort();
    expected.sort();
    EXPECT_EQ(left, expected);
    WhisperTranscriber::removeStaleTemporaryFiles(dir.path() + QStringLiteral("/missing"));
}

} // namespace
