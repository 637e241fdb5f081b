// The live transcriber driving stand-in tools that print what whisper-stream prints.
#include "Engine/WhisperStreamTranscriber.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;
using test::readFile;
using test::waitUntil;
using test::writeFile;

namespace {

class WhisperStreamTranscriberTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(model(), "model");
        descriptorsBefore = test::openDescriptorCount();
    }
    void TearDown() override
    {
        EXPECT_TRUE(waitUntil([] { return test::childProcesses().isEmpty(); })) << "a child process was left behind";
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(test::openDescriptorCount(), descriptorsBefore) << "a descriptor leaked";
    }

    QString model() const { return dir.path() + QStringLiteral("/model.bin"); }
    QString tool(const QByteArray& body) const
    {
        return test::writeScript(dir.path() + QStringLiteral("/whisper-stream"), body);
    }
    static bool stopAndWait(WhisperStreamTranscriber& transcriber, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        bool done = false;
        transcriber.stop([&] { done = true; });
        return waitUntil([&] { return done; }, limit);
    }

    QTemporaryDir dir;
    int descriptorsBefore = 0;
};

TEST_F(WhisperStreamTranscriberTest, RewrittenLinesGrowTheLiveTextAndStatusLinesNeverShow)
{
    const QString stream = tool("printf 'whisper_init: loading\\n[Start speaking]\\n'\n"
                                "printf '\\033[2K\\rthe quick'; sleep 0.2\n"
                                "printf '\\033[2K\\rthe quick brown fox\\n'; sleep 0.2\n"
                                "printf '\\033[2K\\rthe quick'; sleep 0.2\n"
                                "printf '\\033[2K\\rThank you.\\n'\n");
    WhisperStreamTranscriber transcriber;
    QStringList seen;
    QObject::connect(&transcriber, &WhisperStreamTranscriber::liveTextChanged, [&] { seen << transcriber.liveText(); });
    transcriber.start(stream, model(), QString(), std::nullopt);
    EXPECT_TRUE(transcriber.isRunning());
    // The tool's last output is read before its end is reported.
    ASSERT_TRUE(waitUntil([&] { return !transcriber.isRunning(); }));
    EXPECT_EQ(transcriber.liveText(), QStringLiteral("the quick brown fox"));
    EXPECT_FALSE(transcriber.errorMessage());
    for (const QString& text : seen)
        EXPECT_FALSE(text.contains(QStringLiteral("[Start speaking]")) || text.contains(QStringLiteral("whisper_")));
    EXPECT_EQ(transcriber.harvestTranscript(), QStringLiteral("the quick brown fox"));
    EXPECT_TRUE(transcriber.liveText().isEmpty());
}

TEST_F(WhisperStreamTranscriberTest, ACharacterSplitAcrossWritesComesOutOnce)
{
    const QString stream = tool("printf 'caf\\303'; sleep 0.3; printf '\\251 au lait\\n'; sleep 0.2\n");
    WhisperStreamTranscriber transcriber;
    transcriber.start(stream, model(), QStringLiteral("fr"), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return !transcriber.isRunning(); }));
    EXPECT_TRUE(waitUntil([&] { return transcriber.liveText() == QStringLiteral("café au lait"); }))
        << transcriber.liveText().toStdString();
}

TEST_F(WhisperStreamTranscriberTest, OverlappingLinesMergeAndOlderShorterOnesAreIgnored)
{
    const QString stream = tool("printf 'we went to the\\n'; sleep 0.2; printf 'to the shop\\n'; sleep 0.2;"
                                "printf 'we went\\n'; sleep 0.2\n");
    WhisperStreamTranscriber transcriber;
    transcriber.start(stream, model(), QStringLiteral("en"), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return !transcriber.isRunning(); }));
    EXPECT_EQ(transcriber.liveText(), QStringLiteral("we went to the shop"));
}

TEST_F(WhisperStreamTranscriberTest, AFailingToolKeepsItsTextAndReportsItsStatus)
{
    const QString stream = tool("printf 'partial words\\n'; sleep 0.1; exit 3\n");
    WhisperStreamTranscriber transcriber;
    transcriber.start(stream, model(), QStringLiteral("en"), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return transcriber.errorMessage().has_value(); }));
    EXPECT_EQ(transcriber.errorMessage(), QStringLiteral("whisper-stream exited with code 3"));
    EXPECT_FALSE(transcriber.isRunning());
    EXPECT_EQ(transcriber.liveText(), QStringLiteral("partial words"));
}

TEST_F(WhisperStreamTranscriberTest, AnExitCodeAndAKillingSignalAreJudgedApart)
{
    struct Case {
        const char* body;
        std::optional<QString> error;
    };
    const Case cases[] = {
        {"exit 0\n", std::nullopt},
        {"kill -TERM $$\n", std::nullopt},
        {"exit 15\n", QStringLiteral("whisper-stream exited with code 15")},
        {"exit 9\n", QStringLiteral("whisper-stream exited with code 9")},
        {"kill -KILL $$\n", QStringLiteral("whisper-stream exited with code 9")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const QString stream = tool(QByteArray("printf 'words\\n'\n") + c.body);
        WhisperStreamTranscriber transcriber;
        transcriber.start(stream, model(), QStringLiteral("en"), std::nullopt);
        ASSERT_TRUE(waitUntil([&] { return !transcriber.isRunning(); }));
        EXPECT_EQ(transcriber.errorMessage(), c.error);
    }
}

TEST_F(WhisperStreamTranscriberTest, ADrainLimitOfAnEarlierStopDoesNotCutTheNextRunShort)
{
    // The first run ends at once on SIGTERM; the second needs 1.5 s to print its last words.
    const QString quick = tool("printf 'first\\n'\nexec sleep 30\n");
    const QString slowPath = dir.path() + QStringLiteral("/slow-stream");
    test::writeScript(slowPath, "trap 'sleep 1.5; printf \"\\rsecond last words\\n\"; exit 0' TERM\n"
                                "printf 'second'\nwhile :; do sleep 0.05; done\n");
    WhisperStreamTranscriber transcriber; // drain limit 2 s
    transcriber.start(quick, model(), QStringLiteral("en"), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return transcriber.liveText() == QStringLiteral("first"); }));
    QElapsedTimer sinceFirstStop;
    sinceFirstStop.start();
    ASSERT_TRUE(stopAndWait(transcriber));

    transcriber.start(slowPath, model(), QStringLiteral("en"), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return transcriber.liveText() == QStringLiteral("second"); }));
    // Stopped 1 s after the first stop: the first run's limit ends 1 s into this drain, this run's after 2 s.
    ASSERT_TRUE(waitUntil([&] { return sinceFirstStop.elapsed() >= 1000; }));
    ASSERT_TRUE(stopAndWait(transcriber));
    EXPECT_EQ(transcriber.liveText(), QStringLiteral("second last words"));
    EXPECT_FALSE(transcriber.errorMessage()) << transcriber.errorMessageText().toStdString();
}

TEST_F(WhisperStreamTranscriberTest, MissingToolOrModelIsReportedAndNothingStarts)
{
    WhisperStreamTranscriber transcriber;
    transcriber.start(dir.path() + QStringLiteral("/absent"), model(), QString(), std::nullopt);
    EXPECT_EQ(transcriber.errorMessage(), QStringLiteral("whisper-stream not found at: %1/absent").arg(dir.path()));
    const QString stream = tool("exit 0\n");
    transcriber.start(stream, dir.path() + QStringLiteral("/none.bin"), QString(), std::nullopt);
    EXPECT_EQ(transcriber.errorMessage(), QStringLiteral("Model not found: %1/none.bin").arg(dir.path()));
    EXPECT_FALSE(transcriber.isRunning());
}

TEST_F(WhisperStreamTranscriberTest, TheToolGetsItsCommandLineAndLibraryFolder)
{
    const QString dump = dir.path() + QStringLiteral("/args");
    const QString stream = tool("for a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" + dump.toUtf8()
                                + "'\nprintf 'LD=%s' \"$LD_LIBRARY_PATH\" >> '" + dump.toUtf8() + "'\n");
    WhisperStreamTranscriber transcriber;
    transcriber.start(stream, model(), QString(), 3);
    ASSERT_TRUE(waitUntil([&] { return !transcriber.isRunning(); }));
    const QList<QByteArray> parts = readFile(dump).split('\0');
    ASSERT_EQ(parts.size(), 17);
    EXPECT_EQ(parts.at(3), "auto");
    EXPECT_EQ(parts.at(14), "--capture");
    EXPECT_EQ(parts.at(15), "3");
    EXPECT_TRUE(parts.at(16).startsWith("LD=" + dir.path().toUtf8())) << parts.at(16).toStdString();
}

TEST_F(WhisperStreamTranscriberTest, SilenceSetsTheUnresponsiveMessageAndLaterOutputKeepsIt)
{
    const QString stream = tool("printf 'hello\\n'; sleep 1; printf 'hello again\\n'; exec sleep 30\n");
    WhisperStreamTranscriber transcriber({std::chrono::milliseconds(50), std::chrono::milliseconds(300),
                                          std::chrono::milliseconds(2000)});
    transcriber.start(stream, model(), QStringLiteral("en"), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return transcriber.errorMessage().has_value(); }));
    EXPECT_EQ(transcriber.errorMessage(), QStringLiteral("whisper-stream appears unresponsive — no output for 30 seconds."));
    EXPECT_TRUE(transcriber.isRunning()) << "the watchdog only reports";
    ASSERT_TRUE(waitUntil([&] { return transcriber.liveText() == QStringLiteral("hello again"); }));
    EXPECT_TRUE(transcriber.errorMessage().has_value());
    ASSERT_TRUE(stopAndWait(transcriber));
    EXPECT_FALSE(transcriber.isRunning());
}

TEST_F(WhisperStreamTranscriberTest, StopLetsTheLastWordsArrive)
{
    const QString stream = tool("trap 'printf \"\\rlast words\\n\"; exit 0' TERM\nprintf 'first'\n"
                                "while :; do sleep 0.05; done\n");
    WhisperStreamTranscriber transcriber;
    transcriber.start(stream, model(), QStringLiteral("en"), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return transcriber.liveText() == QStringLiteral("first"); }));
    ASSERT_TRUE(stopAndWait(transcriber));
    EXPECT_EQ(transcriber.liveText(), QStringLiteral("first last words"));
    EXPECT_FALSE(transcriber.errorMessage()) << transcriber.errorMessageText().toStdString();
    EXPECT_FALSE(transcriber.isRunning());
}

TEST_F(WhisperStreamTranscriberTest, AToolThatIgnoresTheStopRequestIsKilledAfterTheDrainTime)
{
    const QString stream = tool("trap '' TERM\nprintf 'stubborn\\n'\nexec sleep 60\n");
    WhisperStreamTranscriber transcriber;
    transcriber.start(stream, model(), QStringLiteral("en"), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return transcriber.liveText() == QStringLiteral("stubborn"); }));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(stopAndWait(transcriber));
    EXPECT_GE(clock.elapsed(), 1900) << "it was given its two seconds";
    EXPECT_FALSE(transcriber.isRunning());
    EXPECT_FALSE(transcriber.errorMessage());
    EXPECT_EQ(transcriber.liveText(), QStringLiteral("stubborn")) << "stop keeps the text";
}

TEST_F(WhisperStreamTranscriberTest, AStartWhileRunningIsIgnored)
{
    const QString stream = tool("printf 'one\\n'; exec sleep 30\n");
    WhisperStreamTranscriber transcriber;
    transcriber.start(stream, model(), QStringLiteral("en"), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return transcriber.liveText() == QStringLiteral("one"); }));
    transcriber.start(stream, model(), QStringLiteral("en"), std::nullopt);
    EXPECT_EQ(transcriber.liveText(), QStringLiteral("one"));
    EXPECT_EQ(test::childProcesses().size(), 1);
    ASSERT_TRUE(stopAndWait(transcriber));
}

} // namespace
