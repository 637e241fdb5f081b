// Users press keys faster than callbacks return. A seeded driver fires sequences of
// user actions at the real controller, with stand-in tools whose timings vary, and
// checks after every step what must always hold.
#include "Dictation/DictationController.h"
#include "Engine/WhisperStreamTranscriber.h"
#include "Preferences/PreferenceKeys.h"
#include "TextDelivery/DirectInserter.h"
#include "TextDelivery/PasteboardAccess.h"

#include "Platform/MemoryPreferencesStore.h"

#include "MemoryClipboard.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <map>
#include <random>
#include <set>
#include <thread>

using namespace velmora;
namespace Keys = PreferenceKeys;

namespace {

using Random = std::mt19937;

int between(Random& random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

// A microphone that answers after a while, and now and then fails.
struct TimedRecorder : DictationRecorder {
    Random& random;
    QObject context;
    bool running = false; // a recording is being captured
    bool busy = false;    // a start or stop is under way: the service takes one at a time
    int files = 0;
    std::set<QString> created;
    explicit TimedRecorder(Random& r)
        : random(r)
    {
    }
    void startRecording(const std::optional<AudioInputDevice>&, Completion done) override
    {
        EXPECT_FALSE(busy || running) << "a start while the microphone is in use";
        busy = true;
        const bool fails = between(random, 0, 19) == 0;
        QTimer::singleShot(between(random, 0, 25), &context, [this, done, fails] {
            busy = false;
            if (fails)
                return done(AudioRecorderError::noSoundServer());
            running = true;
            const QString file = QStringLiteral("/tmp/velmora-sequence-%1.wav").arg(++files);
            created.insert(file);
            done(file);
        });
    }
    void stopRecording(Completion done) override
    {
        EXPECT_FALSE(busy) << "a stop while a start or stop is under way";
        busy = true;
        const bool fails = between(random, 0, 19) == 0;
        QTimer::singleShot(between(random, 0, 25), &context, [this, done, fails] {
            busy = false;
            if (!running)
                return done(AudioRecorderError::noActiveRecording());
            running = false;
            if (fails)
                return done(AudioRecorderError::noSoundServer()); // the recording is lost
            done(QStringLiteral("/tmp/velmora-sequence-%1.wav").arg(files));
        });
    }
};

// whisper-cli's stand-in: takes a while, stops early when its run is cancelled.
struct TimedProducer {
    std::atomic<int> running = 0, mostAtOnce = 0, runs = 0;
    std::atomic<unsigned> seed = 1;
    SegmentProducer producer()
    {
        return [this](const QString&, const WhisperConfiguration&, const QList<VocabularyEntry>&,
                      const std::shared_ptr<RunCancellation>& cancellation) -> SegmentResult {
            const int now = ++running;
            mostAtOnce = std::max(mostAtOnce.load(), now);
            const int n = ++runs;
            Random random(seed + n);
            const int steps = between(random, 0, 40);
            for (int i = 0; i < steps && !cancellation->isCancelled(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            --running;
            if (cancellation->isCancelled())
                return WhisperTranscriberError::cancelled();
            if (between(random, 0, 14) == 0)
                return WhisperTranscriberError::processFailure("exit 1");
            return between(random, 0, 9) == 0 ? QString() : QStringLiteral("take %1").arg(n);
        };
    }
};

using Clipboard = test::MemoryClipboard;

enum class Action {
    hotKey, start, stop, cancel, trayClick, trayRightClick, browserStart, browserStop, browserCancel,
    browserDisconnect, modeSwitch, toggleDirectInsert, toggleAutoCopy, userCopies, wait
};
constexpr int actionCount = int(Action::wait) + 1;

const char* name(Action action)
{
    static const char* names[] = {"hot key",        "start",          "stop",          "cancel",
                                  "tray click",     "tray right click", "browser start", "browser stop",
                                  "browser cancel", "browser disconnect", "mode switch", "direct insert toggle",
                                  "auto-copy toggle", "user copies",  "wait"};
    return names[int(action)];
}

struct Sequence {
    explicit Sequence(unsigned seed)
        : random(seed)
        , recorder(random)
    {
        producer.seed = seed * 7919u;
        (void)defaults.setBool(Keys::notifyOnTranscriptionComplete, false);
        (void)defaults.setBool(Keys::autoClearTranscript, false);
        (void)defaults.setBool(Keys::soundEffectsEnabled, false);
        (void)defaults.setBool(Keys::autoCopyToClipboard, false);
        (void)defaults.setBool(Keys::directInsert, true);
        test::writeFile(dir.path() + "/model.bin", "model");
        streamTool = test::writeScript(dir.path() + "/whisper-stream",
                                       "trap 'sleep 0.05; printf \"\\033[2K\\rlast words\\n\"; exit 0' TERM INT\n"
                                       "printf '[Start speaking]\\n'\n"
                                       "printf '\\033[2K\\rlive words\\n'\n"
                                       "while :; do sleep 0.02; done\n");
        DictationServices services;
        services.defaults = &defaults;
        services.recorder = &recorder;
        services.produceSegment = producer.producer();
        services.inserter = &inserter;
        services.clipboard = &clipboard;
        services.canPostKeys = [] { return true; };
        services.frontmost = [this] { return frontmost; };
        services.ownFocus = [] { return false; };
        services.removeFile = [this](const QString& path) { removed.insert(path); };
        services.copyIndicatorTime = std::chrono::milliseconds(20);
        services.recordingTick = std::chrono::milliseconds(20);
        services.makeStream = [] {
            return std::make_unique<WhisperStreamTranscriber>(
                WhisperStreamTranscriber::Timing{std::chrono::seconds(10), std::chrono::seconds(30),
                                                 std::chrono::milliseconds(200)});
        };
        services.streamExecutable = [this] { return std::optional(streamTool); };
        services.vocabularyWait = std::chrono::milliseconds(50);
        controller = std::make_unique<DictationController>(std::move(services),
                                                           WhisperConfiguration{"/cli", dir.path() + "/model.bin", "en"});
        QObject::connect(controller.get(), &DictationController::statusMessageChanged, [this] {
            // A newer dictation's line is never replaced by an older one's result.
            const QString status = controller->statusMessage();
            if (controller->isRecording() && !status.startsWith("Recording") && !status.startsWith("Live transcribing"))
                violations << "\"" + status + "\" while recording";
        });
    }

    void browserEvent(const BrowserBridgeEvent& event)
    {
        using K = BrowserBridgeEvent::Kind;
        if (event.kind == K::completed || event.kind == K::empty || event.kind == K::failed || event.kind == K::canceled)
            ++results[event.session];
    }

    void act(Action action)
    {
        const auto hotKey = DictationActivationSource::globalHotKey();
        switch (action) {
        case Action::hotKey:
        case Action::trayClick:
            return controller->toggleRecording(hotKey);
        case Action::start:
            return controller->startRecording(hotKey);
        case Action::stop:
            return controller->stopRecording(hotKey);
        case Action::cancel:
        case Action::trayRightClick:
            return controller->cancelTranscription(DictationActivationSource::popoverCancelButton());
        case Action::browserStart: {
            const QString id = QStringLiteral("s%1").arg(++browserCount);
            results[id] = 0;
            if (controller->startBrowserSession(id, [this](const BrowserBridgeEvent& e) { browserEvent(e); }))
                browserId = id;
            return;
        }
        case Action::browserStop:
            return controller->stopBrowserSession(browserId);
        case Action::browserCancel:
        case Action::browserDisconnect: // the bridge cancels for a connection that went away
            return controller->cancelBrowserSession(browserId);
        case Action::modeSwitch:
            return controller->setMode(controller->mode() == DictationMode::batch ? DictationMode::stream
                                                                                  : DictationMode::batch);
        case Action::toggleDirectInsert:
            return controller->setDirectInsertEnabled(!controller->directInsertEnabled());
        case Action::toggleAutoCopy:
            return controller->setAutoCopyToClipboard(!controller->autoCopyToClipboard());
        case Action::userCopies:
            clipboard.contents = {{{{"text/plain", QStringLiteral("user copy %1").arg(++userCopies).toUtf8()}}}};
            ++clipboard.count;
            usersText = clipboard.text();
            return;
        case Action::wait:
            return QTest::qWait(between(random, 1, 60));
        }
    }

    // Tools still able to run: a killed one is reaped off the main thread, and until then
    // it is a zombie, or holds its SIGKILL pending, and can do nothing more.
    static int liveTools()
    {
        int count = 0;
        for (const int pid : test::childProcesses()) {
            const QByteArray status = test::readFile(QStringLiteral("/proc/%1/status").arg(pid));
            bool doomed = status.isEmpty() || status.contains("State:\tZ") || status.contains("State:\tX");
            for (const QByteArray& line : status.split('\n'))
                if (line.startsWith("SigPnd:") || line.startsWith("ShdPnd:"))
                    doomed = doomed || (line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ull << (SIGKILL - 1)));
            count += doomed ? 0 : 1;
        }
        return count;
    }

    void checkInvariants(const std::string& where)
    {
        EXPECT_LE(producer.mostAtOnce.load(), 1) << where << ": two speech tool runs at once";
        EXPECT_LE(liveTools(), 1) << where << ": two live tools at once";
        // isRecording exactly when something captures: the recorder, or a live tool.
        if (recorder.running)
            EXPECT_TRUE(controller->isRecording()) << where << ": a recorder runs, and the view says it does not";
        if (controller->isRecording())
            EXPECT_TRUE(recorder.running || liveTools() == 1) << where << ": \"recording\" with nothing capturing";
        for (const auto& [id, count] : results)
            EXPECT_LE(count, 1) << where << ": browser session " << id.toStdString() << " got " << count << " results";
        for (const QString& violation : std::exchange(violations, {}))
            ADD_FAILURE() << where << ": " << violation.toStdString();
    }

    // Lets every dictation end: stops what records, waits for transcriptions and pastes.
    void settle(const std::string& where)
    {
        for (int round = 0; round < 50 && controller->hasDictationInProgress(); ++round) {
            controller->stopRecording(DictationActivationSource::globalHotKey());
            QTest::qWait(40);
        }
        EXPECT_FALSE(controller->hasDictationInProgress()) << where << ": a dictation never ended";
        EXPECT_TRUE(test::waitUntil([&] { return !inserter.hasPendingRestore() && liveTools() == 0; })) << where;
        QTest::qWait(30); // late events of ended sessions, if any were still on their way
        checkInvariants(where);
        for (const auto& [id, count] : results)
            EXPECT_EQ(count, 1) << where << ": browser session " << id.toStdString() << " got " << count << " results";
        for (const QString& file : recorder.created)
            EXPECT_TRUE(removed.count(file)) << where << ": " << file.toStdString() << " was left behind";
        if (clipboard.copies == copiesBefore && !usersText.isNull())
            EXPECT_EQ(clipboard.text(), usersText) << where << ": the clipboard is not as the user left it";
    }

    QTemporaryDir dir;
    Random random;
    platform::MemoryPreferencesStore defaults;
    TimedRecorder recorder;
    TimedProducer producer;
    Clipboard clipboard, primary;
    platform::FrontmostApplication editor{0x400001, 4242, QString("notes"), QString("Gedit"), QString("gedit")};
    std::optional<platform::FrontmostApplication> frontmost = editor;
    DirectInserter inserter{clipboard, primary,
                            [this](platform::PasteChord, auto beforeKeys, auto done) {
                                QTimer::singleShot(between(random, 0, 15), &inserter, [beforeKeys, done] {
                                    done(beforeKeys() ? std::nullopt
                                                      : std::optional(platform::KeyInjectionError::withdrawn));
                                });
                            },
                            [this] { return frontmost; }, {}, std::chrono::milliseconds(30)};
    QString streamTool;
    std::unique_ptr<DictationController> controller;
    std::set<QString> removed;
    std::map<QString, int> results;
    QString browserId;
    int browserCount = 0, userCopies = 0, copiesBefore = 0;
    QString usersText;
    QStringList violations;
};

// Runs one seeded sequence; false when a check failed.
bool runSequence(unsigned seed, int steps)
{
    const int failuresBefore = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    {
        Sequence sequence(seed);
        QStringList done;
        for (int step = 0; step < steps; ++step) {
            const auto action = Action(between(sequence.random, 0, actionCount - 1));
            done << name(action);
            sequence.act(action);
            if (between(sequence.random, 0, 2) == 0)
                QCoreApplication::processEvents();
            sequence.checkInvariants("seed " + std::to_string(seed) + ", step " + std::to_string(step) + " ("
                                     + name(action) + ")");
            if (::testing::Test::HasFailure())
                break;
        }
        const std::string where = "seed " + std::to_string(seed) + " after " + done.join(", ").toStdString();
        // Half the sequences end by settling, the other half by quitting in the middle.
        if (seed % 2 == 0) {
            sequence.settle(where);
        } else {
            sequence.controller->shutDown();
            EXPECT_FALSE(sequence.controller->hasDictationInProgress()) << where;
            EXPECT_TRUE(test::waitUntil([&] { return sequence.liveTools() == 0 && sequence.producer.running == 0; }))
                << where << ": a tool outlived the quit";
            for (const auto& [id, count] : sequence.results)
                EXPECT_EQ(count, 1) << where << ": browser session " << id.toStdString();
        }
    }
    QTest::qWait(10); // the sessions' deferred deletion
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() == failuresBefore;
}

int sequenceCount()
{
    const QByteArray soak = qgetenv("VELMORA_SOAK_SEQUENCES");
    return soak.isEmpty() ? 40 : soak.toInt();
}

} // namespace

TEST(DictationActionSequences, InvariantsHoldUnderRandomActions)
{
    const unsigned first = qEnvironmentVariableIsSet("VELMORA_SOAK_SEED") ? qEnvironmentVariableIntValue("VELMORA_SOAK_SEED")
                                                                          : 1;
    for (unsigned seed = first; seed < first + unsigned(sequenceCount()); ++seed)
        ASSERT_TRUE(runSequence(seed, 60)) << "a failing seed becomes a case in FoundSeeds: " << seed;
}
