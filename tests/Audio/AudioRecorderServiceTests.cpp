// The recorder's ordering and timing rules, with a stand-in capture.
#include "Audio/AudioRecorderService.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace velmora;
using namespace std::chrono_literals;
using test::waitUntil;

namespace {

struct FakeCapture {
    std::atomic<int> starts = 0;
    std::atomic<int> stops = 0;
    std::atomic<bool> failStart = false;
    std::atomic<bool> failStop = false;
    std::atomic<bool> finalizeOnStop = true;
    std::atomic<bool> finalizeBeforeStopReturns = false;
    std::chrono::milliseconds startDelay{0};

    AudioRecorderService::CaptureStarter starter()
    {
        return [this](const std::optional<AudioInputDevice>&, const QString& path, std::function<void(const QString&)> finalized)
                   -> std::variant<AudioRecorderService::StopOperation, AudioRecorderError> {
            std::this_thread::sleep_for(startDelay);
            ++starts;
            if (failStart)
                return AudioRecorderError::failedToStart();
            return AudioRecorderService::StopOperation([this, path, finalized]() -> std::optional<AudioRecorderError> {
                ++stops;
                if (failStop)
                    return AudioRecorderError::recorderSetupFailed();
                if (finalizeOnStop)
                    finalized(path);
                return std::nullopt;
            });
        };
    }
};

std::optional<AudioRecorderService::Result> run(const std::function<void(AudioRecorderService::Completion)>& call,
                                                std::chrono::milliseconds limit = 5s)
{
    std::optional<AudioRecorderService::Result> result;
    call([&](const AudioRecorderService::Result& r) { result = r; });
    waitUntil([&] { return result.has_value(); }, limit);
    return result;
}

class AudioRecorderServiceTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeCapture capture;
};

TEST_F(AudioRecorderServiceTest, TwoQuickStartsShareOneFile)
{
    capture.startDelay = 100ms;
    AudioRecorderService service(dir.path(), capture.starter(), 200ms);
    std::optional<AudioRecorderService::Result> first, second;
    service.startRecording(std::nullopt, [&](const auto& r) { first = r; });
    service.startRecording(std::nullopt, [&](const auto& r) { second = r; });
    ASSERT_TRUE(waitUntil([&] { return first && second; }));
    EXPECT_EQ(capture.starts, 1);
    ASSERT_TRUE(std::holds_alternative<QString>(*first));
    EXPECT_EQ(*first, *second);
    EXPECT_TRUE(std::get<QString>(*first).startsWith(dir.path() + "/velmora-"));
    EXPECT_EQ(run([&](auto done) { service.startRecording(std::nullopt, done); }), *first) << "recording: the same file";
}

TEST_F(AudioRecorderServiceTest, AStopDuringThePendingStartStopsWhatItProduced)
{
    capture.startDelay = 100ms;
    AudioRecorderService service(dir.path(), capture.starter(), 200ms);
    std::optional<AudioRecorderService::Result> started, stopped;
    service.startRecording(std::nullopt, [&](const auto& r) { started = r; });
    service.stopRecording([&](const auto& r) { stopped = r; });
    ASSERT_TRUE(waitUntil([&] { return started && stopped; }));
    EXPECT_EQ(*stopped, *started);
    EXPECT_EQ(capture.stops, 1);

    capture.failStart = true;
    started.reset();
    stopped.reset();
    service.startRecording(std::nullopt, [&](const auto& r) { started = r; });
    service.stopRecording([&](const auto& r) { stopped = r; });
    ASSERT_TRUE(waitUntil([&] { return started && stopped; }));
    EXPECT_EQ(*started, AudioRecorderService::Result(AudioRecorderError::failedToStart()));
    EXPECT_EQ(*stopped, AudioRecorderService::Result(AudioRecorderError::noActiveRecording()));
}

TEST_F(AudioRecorderServiceTest, FinalizationBeforeTheWaitAndNeverAtAll)
{
    // A limit far beyond the test's own wait: the stop can only answer in time if it did not wait for it.
    AudioRecorderService quick(dir.path(), capture.starter(), std::chrono::minutes(10));
    const auto file = run([&](auto done) { quick.startRecording(std::nullopt, done); });
    ASSERT_TRUE(file && std::holds_alternative<QString>(*file));
    EXPECT_EQ(run([&](auto done) { quick.stopRecording(done); }, 60s), *file) << "the completion came first: no wait for the limit";

    capture.finalizeOnStop = false;
    AudioRecorderService never(dir.path(), capture.starter(), 300ms);
    const auto second = run([&](auto done) { never.startRecording(std::nullopt, done); });
    ASSERT_TRUE(second);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(run([&](auto done) { never.stopRecording(done); }), *second) << "the limit ends the wait";
    EXPECT_GE(clock.elapsed(), 250);
}

TEST_F(AudioRecorderServiceTest, AFailingStopFailsAndTheNextStartIsFresh)
{
    capture.failStop = true;
    AudioRecorderService service(dir.path(), capture.starter(), 200ms);
    const auto first = run([&](auto done) { service.startRecording(std::nullopt, done); });
    EXPECT_EQ(run([&](auto done) { service.stopRecording(done); }),
              AudioRecorderService::Result(AudioRecorderError::recorderSetupFailed()));
    EXPECT_FALSE(service.isRecording());
    capture.failStop = false;
    const auto second = run([&](auto done) { service.startRecording(std::nullopt, done); });
    EXPECT_EQ(capture.starts, 2);
    EXPECT_NE(first, second);
    EXPECT_EQ(run([&](auto done) { service.stopRecording(done); }), second);
    EXPECT_EQ(run([&](auto done) { service.stopRecording(done); }),
              AudioRecorderService::Result(AudioRecorderError::noActiveRecording()));
}

// No private folder could be had: nothing is captured, and the user is told why.
TEST_F(AudioRecorderServiceTest, WithoutAPrivateFolderNothingIsRecorded)
{
    AudioRecorderService service(QString(), capture.starter(), 200ms);
    const auto started = run([&](auto done) { service.startRecording(std::nullopt, done); });
    ASSERT_TRUE(started.has_value());
    ASSERT_TRUE(std::holds_alternative<AudioRecorderError>(*started));
    EXPECT_TRUE(std::get<AudioRecorderError>(*started).description().startsWith("Nothing was recorded: Velmora found no folder"));
    EXPECT_EQ(capture.starts, 0);
    EXPECT_EQ(run([&](auto done) { service.stopRecording(done); }),
              AudioRecorderService::Result(AudioRecorderError::noActiveRecording()));
}

TEST(AudioRecorderError, Texts)
{
    EXPECT_EQ(AudioRecorderError::deviceUnavailable("USB Mic").description(),
              QStringLiteral("Audio input device \"USB Mic\" is not available."));
    EXPECT_EQ(AudioRecorderError::noActiveRecording().description(), QStringLiteral("There is no active recording to stop."));
}

} // namespace
