// The bundle's own whisper-cli, built by setup, on the fixture model.
#include "Engine/BundledWhisperRuntime.h"
#include "Engine/WhisperTranscriber.h"

#include "Platform/Linux/MainBundle.h"

#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

class WhisperRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto bundle = platform::MainBundle::forExecutable(test::bundleDir() + QStringLiteral("/bin/velmora"),
                                                                std::nullopt);
        runtime = BundledWhisperRuntime::current(bundle);
        ASSERT_TRUE(runtime) << "the build tree has no whisper runtime; run scripts/setup";
        ASSERT_TRUE(runtime->streamExecutablePath);
        ASSERT_TRUE(QFileInfo::exists(QFileInfo(*runtime->streamExecutablePath).absolutePath()
                                      + QStringLiteral("/libSDL2-2.0.so.0")));
        const auto made = test::runProcess(QStringLiteral("sox"),
                                           {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("16000"),
                                            QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-b"),
                                            QStringLiteral("16"), wav(), QStringLiteral("synth"), QStringLiteral("2"),
                                            QStringLiteral("sine"), QStringLiteral("300-900"), QStringLiteral("vol"),
                                            QStringLiteral("0.3")});
        ASSERT_EQ(made.exitCode, 0) << made.standardError.toStdString();
    }

    QString wav() const { return dir.path() + QStringLiteral("/speech.wav"); }
    QString model() const { return test::testModel(); }

    QTemporaryDir dir;
    std::optional<BundledWhisperRuntime> runtime;
};

TEST_F(WhisperRuntimeTest, TranscribesAWavToATextFileWithAndWithoutAPrompt)
{
    const std::optional<QString> prompts[] = {std::nullopt, QStringLiteral("-Kubernetes, \"kubectl\" and 'Velmora'")};
    int run = 0;
    for (const auto& prompt : prompts) {
        const QString output = dir.path() + QStringLiteral("/velmora-output-%1").arg(run++);
        QStringList arguments{QStringLiteral("-m"), model(),  QStringLiteral("-f"),  wav(), QStringLiteral("-l"),
                              QStringLiteral("en"), QStringLiteral("-otxt"), QStringLiteral("-of"), output,
                              QStringLiteral("-np"), QStringLiteral("-t"), QStringLiteral("2")};
        if (prompt)
            arguments << QStringLiteral("--prompt") << *prompt;
        const auto result = test::runProcess(runtime->executablePath, arguments, QProcessEnvironment::systemEnvironment(),
                                             std::chrono::seconds(120));
        EXPECT_FALSE(result.timedOut);
        EXPECT_FALSE(result.crashed);
        EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
        EXPECT_TRUE(QFileInfo(output + QStringLiteral(".txt")).isFile()) << "no text file from whisper-cli";
    }
}

TEST_F(WhisperRuntimeTest, TheTranscriberRunsTheShippedCliToTheEnd)
{
    const auto shipped = runtime;
    WhisperTranscriber transcriber(dir.path(), {}, [shipped] { return shipped; });
    const WhisperConfiguration configuration{QStringLiteral("/elsewhere/whisper-cli"), model(), QStringLiteral("en")};
    const std::optional<QString> prompts[] = {std::nullopt, QStringLiteral("Kubernetes, kubectl, \"Velmora\"")};
    for (const auto& prompt : prompts) {
        // The test model has random weights: it runs to the end, and what it hears means nothing.
        const auto result = transcriber.transcribe(wav(), configuration, prompt, true);
        ASSERT_TRUE(std::holds_alternative<QString>(result))
            << std::get<WhisperTranscriberError>(result).description().toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("velmora-output-*")}, QDir::Files).isEmpty());
    EXPECT_TRUE(test::childProcesses().isEmpty());
}

TEST_F(WhisperRuntimeTest, AMissingModelFailsWithAStatusAndAMessage)
{
    const auto result = test::runProcess(runtime->executablePath,
                                         {QStringLiteral("-m"), dir.path() + QStringLiteral("/absent.bin"),
                                          QStringLiteral("-f"), wav(), QStringLiteral("-otxt"), QStringLiteral("-of"),
                                          dir.path() + QStringLiteral("/never")});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_FALSE(result.standardError.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/never.txt")));
}

} // namespace
