// The bundle's real whisper-stream, capturing the rig's "TestMic" source.
#include "Engine/BundledWhisperRuntime.h"
#include "Engine/WhisperStreamTranscriber.h"

#include "Platform/Linux/MainBundle.h"

#include "TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;
using test::waitUntil;

namespace {

TEST(LiveTool, StartsCapturesAndStopsCleanly)
{
    const auto runtime = BundledWhisperRuntime::current(
        platform::MainBundle::forExecutable(test::bundleDir() + QStringLiteral("/bin/velmora"), std::nullopt));
    ASSERT_TRUE(runtime && runtime->streamExecutablePath) << "the build tree has no whisper-stream; run scripts/setup";

    // Speech-like sound on the microphone while the tool listens.
    QTemporaryDir dir;
    const QString tone = dir.path() + QStringLiteral("/tone.wav");
    ASSERT_EQ(test::runProcess(QStringLiteral("sox"), {"-n", "-r", "16000", "-c", "1", "-b", "16", tone, "synth", "4",
                                                      "sine", "200-800", "vol", "0.4"})
                  .exitCode,
              0);

    WhisperStreamTranscriber transcriber;
    QStringList seen;
    QObject::connect(&transcriber, &WhisperStreamTranscriber::liveTextChanged, [&] { seen << transcriber.liveText(); });
    transcriber.start(*runtime->streamExecutablePath, test::testModel(),
                      QStringLiteral("en"), 0);
    ASSERT_TRUE(transcriber.isRunning()) << transcriber.errorMessageText().toStdString();

    QProcess feed;
    feed.start(QString::fromLocal8Bit(qgetenv("VELMORA_RIG_FEED_MIC")), {tone});
    waitUntil([&] { return feed.state() == QProcess::NotRunning; }, std::chrono::seconds(10));
    EXPECT_TRUE(transcriber.isRunning()) << transcriber.errorMessageText().toStdString();

    bool stopped = false;
    transcriber.stop([&] { stopped = true; });
    ASSERT_TRUE(waitUntil([&] { return stopped; }, std::chrono::seconds(10)));
    EXPECT_FALSE(transcriber.isRunning());
    EXPECT_FALSE(transcriber.errorMessage()) << transcriber.errorMessageText().toStdString();
    for (const QString& text : seen)
        EXPECT_FALSE(text.contains(QStringLiteral("[Start speaking]"))) << text.toStdString();
    EXPECT_TRUE(waitUntil([] { return test::childProcesses().isEmpty(); }));
}

} // namespace
