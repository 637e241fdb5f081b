#include "Dictation/DictationController.h"
#include "Dictation/RuntimeRestore.h"
#include "Engine/WhisperStreamTranscriber.h"
#include "Preferences/PreferenceKeys.h"
#include "TextDelivery/DirectInserter.h"
#include "TextDelivery/PasteboardAccess.h"
#include "TextDelivery/TranscriptionNotificationService.h"

#include "Platform/MemoryPreferencesStore.h"

#include "MemoryClipboard.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <future>
#include <mutex>

using namespace velmora;
namespace Keys = PreferenceKeys;

namespace {

// A recorder whose answers the test gives.
struct HeldRecorder : DictationRecorder {
    Completion pendingStart, pendingStop;
    int starts = 0, stops = 0;
    void startRecording(const std::optional<AudioInputDevice>&, Completion done) override
    {
        ++starts;
        pendingStart = std::move(done);
    }
    void stopRecording(Completion done) override
    {
        ++stops;
        pendingStop = std::move(done);
    }
    void confirmStart() { std::exchange(pendingStart, {})(QString("/tmp/velmora-test.wav")); }
    void confirmStop(const QString& file) { std::exchange(pendingStop, {})(file); }
    void failStop() { std::exchange(pendingStop, {})(AudioRecorderError::noSoundServer()); }
};

// A segment producer that waits until the test releases it.
struct HeldProducer {
    std::mutex lock;
    std::promise<SegmentResult> answer;
    std::shared_future<SegmentResult> future = answer.get_future().share();
    std::atomic<int> runs = 0;
    QList<VocabularyEntry> prompted; // the list the last run was given, under `lock`
    std::shared_ptr<RunCancellation> cancellation; // the last run's, under `lock`
    SegmentProducer producer()
    {
        return [this](const QString&, const WhisperConfiguration&, const QList<VocabularyEntry>& vocabulary,
                      const std::shared_ptr<RunCancellation>& run) {
            {
                std::lock_guard guard(lock);
                prompted = vocabulary;
                cancellation = run;
            }
            ++runs;
            return future.get();
        };
    }
    void release(SegmentResult result) { answer.set_value(std::move(result)); }
    // Ready for the next run; only between runs.
    void rearm()
    {
        answer = {};
        future = answer.get_future().share();
    }
};

using Clipboard = test::MemoryClipboard;

struct Rig {
    QTemporaryDir dir;
    platform::MemoryPreferencesStore defaults;
    HeldRecorder recorder;
    std::unique_ptr<HeldProducer> producer = std::make_unique<HeldProducer>();
    Clipboard clipboard, primary;
    std::vector<QString> pasted;
    std::optional<platform::KeyInjectionError> pasteError;
    std::function<void()> duringPaste; // the user, while the paste waits for held keys
    // The keys go a turn of the event loop later, as they do from the worker.
    DirectInserter inserter{clipboard, primary,
                            [this](platform::PasteChord, auto beforeKeys, auto done) {
                                QTimer::singleShot(0, &inserter, [this, beforeKeys, done] {
                                    if (duringPaste)
                                        std::exchange(duringPaste, {})();
                                    if (pasteError == platform::KeyInjectionError::modifiersHeld)
                                        return done(pasteError);
                                    if (!beforeKeys())
                                        return done(platform::KeyInjectionError::withdrawn);
                                    pasted.push_back(clipboard.text());
                                    done(pasteError);
                                });
                            },
                            [this] { return frontmost; }, {}, std::chrono::milliseconds(50)};
    platform::FrontmostApplication editor{0x400001, 4242, QString("notes"), QString("Gedit"), QString("gedit")};
    std::optional<platform::FrontmostApplication> frontmost = editor;
    std::vector<QString> removed;
    std::vector<DictationSound> sounds;
    // The live tool of the session running now, while it lives.
    QPointer<WhisperStreamTranscriber> stream;
    int streamsMade = 0;
    QString streamTool; // empty: the bundle has no whisper-stream
    // The vocabulary file's reads: asked for, and the callers waiting for them to land.
    int vocabularyRefreshes = 0;
    bool holdsVocabulary = false; // false: every read has landed at once
    std::vector<std::function<void()>> waitingForVocabulary;
    std::chrono::milliseconds vocabularyWait{2000};
    std::unique_ptr<DictationController> controller;

    Rig()
    {
        (void)defaults.setBool(Keys::notifyOnTranscriptionComplete, false);
        (void)defaults.setBool(Keys::autoClearTranscript, false);
        make();
    }
    void make()
    {
        DictationServices services;
        services.defaults = &defaults;
        services.recorder = &recorder;
        services.produceSegment = producer->producer();
        services.inserter = &inserter;
        services.clipboard = &clipboard;
        services.canPostKeys = [] { return true; };
        services.frontmost = [this] { return frontmost; };
        services.ownFocus = [] { return false; };
        services.logger.emplace(dir.path() + "/activation.log", 1'000'000,
                                [] { return std::optional<platform::FrontmostApplication>(); });
        services.playSound = [this](DictationSound s) { sounds.push_back(s); };
        services.removeFile = [this](const QString& path) { removed.push_back(path); };
        services.copyIndicatorTime = std::chrono::milliseconds(50);
        services.makeStream = [this] {
            auto made = std::make_unique<WhisperStreamTranscriber>();
            stream = made.get();
            ++streamsMade;
            return made;
        };
        services.streamExecutable = [this] { return streamTool.isEmpty() ? std::nullopt : std::optional(streamTool); };
        services.refreshVocabulary = [this] { ++vocabularyRefreshes; };
        services.whenVocabularyCurrent = [this](QObject* context, std::function<void()> then) {
            if (!holdsVocabulary)
                return then();
            waitingForVocabulary.push_back([context = QPointer(context), then] {
                if (context)
                    then();
            });
        };
        services.vocabularyWait = vocabularyWait;
        controller = std::make_unique<DictationController>(std::move(services),
                                                           WhisperConfiguration{"/cli", "/model.bin", "en"});
    }
    void vocabularyLands()
    {
        for (const auto& then : std::exchange(waitingForVocabulary, {}))
            then();
    }
    QList<VocabularyEntry> prompted()
    {
        std::lock_guard guard(producer->lock);
        return producer->prompted;
    }
    bool runWasCancelled()
    {
        std::lock_guard guard(producer->lock);
        return producer->cancellation && producer->cancellation->isCancelled();
    }
    QStringList actions() const
    {
        QStringList list;
        for (const QByteArray& line : test::readFile(dir.path() + "/activation.log").split('\n'))
            if (!line.isEmpty())
                list << QJsonDocument::fromJson(line).object().value("action").toString();
        return list;
    }
    // The message the activation log keeps with the last line of `action`.
    QString messageOf(const QString& action) const
    {
        QString message;
        for (const QByteArray& line : test::readFile(dir.path() + "/activation.log").split('\n')) {
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            if (event.value("action").toString() == action)
                message = event.value("message").toString();
        }
        return message;
    }
    QStringList takeActions()
    {
        const QStringList all = actions();
        QStringList fresh = all.mid(seen);
        seen = all.size();
        return fresh;
    }
    qsizetype seen = 0;

    // Drives a batch dictation into the phase asked for.
    enum class Phase { idle, starting, recording, stopping, transcribing };
    void reach(Phase phase)
    {
        const auto source = DictationActivationSource::popoverRecordButton();
        if (phase == Phase::idle)
            return;
        controller->startRecording(source);
        if (phase == Phase::starting)
            return;
        recorder.confirmStart();
        if (phase == Phase::recording)
            return;
        controller->stopRecording(source);
        if (phase == Phase::stopping)
            return;
        recorder.confirmStop("/tmp/velmora-take.wav");
    }
    void finish(SegmentResult result)
    {
        producer->release(std::move(result));
        ASSERT_TRUE(test::waitUntil([&] { return !controller->isTranscribing(); }));
        test::waitUntil([&] { return actions().contains("transcriptionCompleted") || actions().contains("transcriptionFailed"); },
                        std::chrono::milliseconds(500));
    }
};

using Phase = Rig::Phase;

} // namespace

TEST(DictationController, EveryCommandInEveryPhase)
{
    const auto hotKey = DictationActivationSource::globalHotKey();
    struct Outcome {
        QStringList log;
        int starts, stops; // recorder calls after the command
        bool transcribing;
    };
    const struct {
        const char* name;
        Phase phase;
        std::function<void(DictationController&)> command;
        QStringList log;
        int recorderStarts, recorderStops;
    } cases[] = {
        {"toggle in idle starts", Phase::idle, [&](auto& c) { c.toggleRecording(hotKey); }, {"startRequested"}, 1, 0},
        {"toggle while starting is an ignored start", Phase::starting, [&](auto& c) { c.toggleRecording(hotKey); },
         {"startRequested", "startIgnored"}, 1, 0},
        {"toggle while recording stops", Phase::recording, [&](auto& c) { c.toggleRecording(hotKey); }, {"stopRequested"}, 1, 1},
        {"toggle while stopping does nothing", Phase::stopping, [&](auto& c) { c.toggleRecording(hotKey); }, {}, 1, 1},
        {"toggle while transcribing does nothing", Phase::transcribing, [&](auto& c) { c.toggleRecording(hotKey); }, {}, 1, 1},
        {"start in idle runs", Phase::idle, [&](auto& c) { c.startRecording(hotKey); }, {"startRequested"}, 1, 0},
        {"start while starting", Phase::starting, [&](auto& c) { c.startRecording(hotKey); }, {"startRequested", "startIgnored"}, 1, 0},
        {"start while recording", Phase::recording, [&](auto& c) { c.startRecording(hotKey); }, {"startRequested", "startIgnored"}, 1, 0},
        {"start while stopping", Phase::stopping, [&](auto& c) { c.startRecording(hotKey); }, {"startRequested", "startIgnored"}, 1, 1},
        {"start while transcribing", Phase::transcribing, [&](auto& c) { c.startRecording(hotKey); },
         {"startRequested", "startIgnored"}, 1, 1},
        {"stop in idle", Phase::idle, [&](auto& c) { c.stopRecording(hotKey); }, {}, 0, 0},
        {"stop while starting is ignored silently", Phase::starting, [&](auto& c) { c.stopRecording(hotKey); }, {}, 1, 0},
        {"stop while recording runs", Phase::recording, [&](auto& c) { c.stopRecording(hotKey); }, {"stopRequested"}, 1, 1},
        {"stop while stopping", Phase::stopping, [&](auto& c) { c.stopRecording(hotKey); }, {}, 1, 1},
        {"stop while transcribing", Phase::transcribing, [&](auto& c) { c.stopRecording(hotKey); }, {}, 1, 1},
        {"cancel in idle", Phase::idle, [&](auto& c) { c.cancelTranscription(hotKey); }, {}, 0, 0},
        {"cancel while starting", Phase::starting, [&](auto& c) { c.cancelTranscription(hotKey); }, {}, 1, 0},
        {"cancel while recording", Phase::recording, [&](auto& c) { c.cancelTranscription(hotKey); }, {}, 1, 0},
        {"cancel while stopping", Phase::stopping, [&](auto& c) { c.cancelTranscription(hotKey); }, {}, 1, 1},
        {"cancel while transcribing runs", Phase::transcribing, [&](auto& c) { c.cancelTranscription(hotKey); },
         {"cancelTranscriptionRequested", "transcriptionCanceled"}, 1, 1},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.reach(c.phase);
        rig.takeActions();
        c.command(*rig.controller);
        EXPECT_EQ(rig.takeActions(), c.log) << c.name;
        EXPECT_EQ(rig.recorder.starts, c.recorderStarts) << c.name;
        EXPECT_EQ(rig.recorder.stops, c.recorderStops) << c.name;
        rig.producer->release(QString()); // let a held run end before the rig goes
        test::waitUntil([&] { return rig.removed.size() == (c.phase == Phase::transcribing ? 1u : 0u); });
    }
}

const QList<VocabularyEntry> cloudVocabulary{{QUuid::createUuid(), "Kubernetes", {"cube and eighties"}}};

// A new computer joining the cloud folder: the file's list comes off the main thread
// after launch, and a dictation that ends before it lands waits for it.
TEST(DictationVocabulary, TheFirstTranscriptionWaitsForTheFileAndUsesItsList)
{
    Rig rig;
    rig.holdsVocabulary = true;
    rig.reach(Phase::recording);
    EXPECT_EQ(rig.vocabularyRefreshes, 1) << "a change made elsewhere is looked for when a recording starts";
    rig.controller->stopRecording(DictationActivationSource::globalHotKey());
    rig.recorder.confirmStop("/tmp/velmora-take.wav");
    EXPECT_TRUE(rig.controller->isTranscribing());
    QTest::qWait(100);
    EXPECT_EQ(rig.producer->runs, 0) << "the prompt waits for the file's answer";

    rig.controller->setVocabulary(cloudVocabulary); // what the sync hands on when the read lands
    rig.vocabularyLands();
    ASSERT_TRUE(test::waitUntil([&] { return rig.producer->runs == 1; }));
    EXPECT_EQ(rig.prompted(), cloudVocabulary);
    rig.finish(QString("we use cube and eighties daily"));
    EXPECT_EQ(rig.controller->transcript(), "we use Kubernetes daily");
}

TEST(DictationVocabulary, ATextIsCorrectedWithTheListCurrentWhenItComesBack)
{
    Rig rig;
    rig.reach(Phase::transcribing);
    ASSERT_TRUE(test::waitUntil([&] { return rig.producer->runs == 1; }));
    EXPECT_TRUE(rig.prompted().isEmpty());
    rig.controller->setVocabulary(cloudVocabulary); // changed on another computer during the run
    rig.finish(QString("we use cube and eighties daily"));
    EXPECT_EQ(rig.controller->transcript(), "we use Kubernetes daily");
}

TEST(DictationVocabulary, AFileThatDoesNotAnswerHoldsTheTranscriptionOnlyBriefly)
{
    Rig rig;
    rig.holdsVocabulary = true;
    rig.vocabularyWait = std::chrono::milliseconds(50);
    rig.make();
    rig.reach(Phase::transcribing);
    ASSERT_TRUE(test::waitUntil([&] { return rig.producer->runs == 1; }, std::chrono::seconds(2)));
    rig.finish(QString("plain words"));
    EXPECT_EQ(rig.controller->transcript(), "plain words");
    rig.vocabularyLands(); // late: nothing runs twice
    QTest::qWait(50);
    EXPECT_EQ(rig.producer->runs, 1);
}

TEST(DictationVocabulary, ACancelWhileWaitingRunsNothingAndRemovesTheRecording)
{
    Rig rig;
    rig.holdsVocabulary = true;
    rig.reach(Phase::transcribing);
    rig.controller->cancelTranscription(DictationActivationSource::popoverCancelButton());
    rig.vocabularyLands();
    QTest::qWait(50);
    EXPECT_EQ(rig.producer->runs, 0);
    EXPECT_EQ(rig.removed, std::vector<QString>{"/tmp/velmora-take.wav"});
    EXPECT_FALSE(rig.controller->isTranscribing());
    rig.producer->release(QString());
}

// "…daily we use…", not "…dailywe use…": the second dictation into the same field
// starts with a space, unless the user turned that off.
TEST(DictationController, ASecondDictationIntoTheSameWindowStartsWithASpace)
{
    for (const bool spaced : {true, false}) {
        Rig rig;
        (void)rig.defaults.setBool(Keys::directInsert, true);
        rig.controller->setSpaceBetweenDictations(spaced);
        for (const char* said : {"we use Kubernetes daily", "we use it", ", and more"}) {
            rig.reach(Phase::transcribing);
            rig.finish(QString(said));
            ASSERT_TRUE(test::waitUntil([&] { return rig.actions().count("directInsert") == int(rig.pasted.size()); }));
            rig.producer->rearm();
        }
        rig.frontmost->window = 0x400002; // another window of the same program
        rig.reach(Phase::transcribing);
        rig.finish(QString("elsewhere"));
        const std::vector<QString> expected = spaced
            ? std::vector<QString>{"we use Kubernetes daily", " we use it", ", and more", "elsewhere"}
            : std::vector<QString>{"we use Kubernetes daily", "we use it", ", and more", "elsewhere"};
        EXPECT_EQ(rig.pasted, expected) << "spaced " << spaced;
    }
}

TEST(DictationController, FlagsAreSetBeforeTheFirstWait)
{
    Rig rig;
    const auto source = DictationActivationSource::doubleTapModifier();
    rig.controller->startRecording(source);
    rig.controller->startRecording(source); // same turn: the first already counts
    EXPECT_EQ(rig.recorder.starts, 1);
    EXPECT_EQ(rig.controller->statusMessage(), "Requesting microphone...");
    rig.recorder.confirmStart();
    EXPECT_TRUE(rig.controller->isRecording());
    EXPECT_EQ(rig.controller->statusMessage(), "Recording...");
    rig.controller->stopRecording(source);
    rig.controller->stopRecording(source);
    EXPECT_EQ(rig.recorder.stops, 1);

}

// The recorder lets go of its recording when a stop fails: asking for another stop
// could only fail again, and the controller would stay "Recording" for good.
TEST(DictationController, AFailedStopEndsTheDictation)
{
    Rig rig;
    const auto source = DictationActivationSource::globalHotKey();
    rig.reach(Phase::stopping);
    rig.recorder.failStop();
    EXPECT_FALSE(rig.controller->isRecording());
    EXPECT_FALSE(rig.controller->isTranscribing());
    EXPECT_FALSE(rig.controller->hasDictationInProgress());
    EXPECT_EQ(rig.controller->statusMessage(), "Ready");
    EXPECT_EQ(rig.controller->errorMessage(), AudioRecorderError::noSoundServer().description());
    EXPECT_EQ(rig.removed, std::vector<QString>{"/tmp/velmora-test.wav"}) << "what was recorded goes";
    EXPECT_EQ(rig.actions().last(), "stopFailed");
    rig.controller->toggleRecording(source);
    EXPECT_EQ(rig.recorder.starts, 2) << "the next press starts a new dictation";
    EXPECT_EQ(rig.controller->statusMessage(), "Requesting microphone...");
}

TEST(DictationController, ABatchDictationAppendsCopiesPastesAndCleansUp)
{
    const struct {
        const char* name;
        bool autoCopy, directInsert;
        std::optional<platform::KeyInjectionError> pasteError;
        bool switchApps;
        const char* status;
        std::function<void(Rig&)> duringPaste = {}; // while the paste waits for held keys
        const char* clipboardAfter = nullptr;       // none: as the case's copy setting leaves it
    } cases[] = {
        {"copy only", true, false, {}, false, "Transcription complete · Copied"},
        {"neither", false, false, {}, false, "Transcription complete"},
        {"insert", false, true, {}, false, "Transcription complete · Inserted"},
        {"insert and copy", true, true, {}, false, "Transcription complete · Inserted & copied"},
        {"switched apps", true, true, {}, true, "Not inserted · you switched apps"},
        {"modifier still held", false, true, platform::KeyInjectionError::modifiersHeld, false,
         "Not inserted · a modifier key was still held"},
        {"Alt+Tab held while the result arrives: the next window gets no keys", false, true, {}, false,
         "Not inserted · you switched apps",
         [](Rig& r) { r.frontmost = platform::FrontmostApplication{0x500001, 999, QString("other"), QString("Other"), {}}; }},
        {"Ctrl+C while the paste waits: the fresh copy is neither pasted nor overwritten", false, true, {}, false,
         "Not inserted · you copied something meanwhile", [](Rig& r) { r.clipboard.writeText("fresh copy"); },
         "fresh copy"},
        {"modifiers held too long after a fresh copy: the copy stays", false, true,
         platform::KeyInjectionError::modifiersHeld, false, "Not inserted · a modifier key was still held",
         [](Rig& r) { r.clipboard.writeText("fresh copy"); }, "fresh copy"},
    };
    for (const auto& c : cases) {
        Rig rig;
        (void)rig.defaults.setBool(Keys::autoCopyToClipboard, c.autoCopy);
        (void)rig.defaults.setBool(Keys::directInsert, c.directInsert);
        rig.pasteError = c.pasteError;
        if (c.duringPaste)
            rig.duringPaste = [&] { c.duringPaste(rig); };
        rig.controller->setTranscript("Earlier words.");
        rig.clipboard.writeText("the user's own copy");
        rig.reach(Phase::transcribing);
        EXPECT_EQ(rig.controller->statusMessage(), "Transcribing...") << c.name;
        if (c.switchApps)
            rig.frontmost = platform::FrontmostApplication{0x500001, 999, QString("other"), QString("Other"), {}};
        rig.finish(QString("New words."));
        EXPECT_EQ(rig.controller->transcript(), "Earlier words.\nNew words.") << c.name;
        EXPECT_EQ(rig.controller->statusMessage(), QString::fromUtf8(c.status)) << c.name;
        EXPECT_EQ(rig.removed, std::vector<QString>{"/tmp/velmora-take.wav"}) << c.name << ": removed exactly once";
        const bool keysSent = c.directInsert && !c.switchApps && !c.pasteError && !c.duringPaste;
        EXPECT_EQ(rig.pasted, keysSent ? std::vector<QString>{"New words."} : std::vector<QString>{}) << c.name;
        if (c.clipboardAfter) {
            QTest::qWait(100); // past the restore delay
            EXPECT_EQ(rig.clipboard.text(), c.clipboardAfter) << c.name;
        } else if (c.autoCopy)
            ASSERT_TRUE(test::waitUntil([&] { return rig.clipboard.text() == "Earlier words.\nNew words."; }))
                << c.name << ": the whole transcript stays on the clipboard";
        else
            ASSERT_TRUE(test::waitUntil([&] { return rig.clipboard.text() == "the user's own copy"; }))
                << c.name << ": the user's clipboard comes back";
        EXPECT_EQ(rig.sounds, (std::vector<DictationSound>{DictationSound::start, DictationSound::stop, DictationSound::stop}))
            << c.name;
        const QStringList log = rig.actions();
        EXPECT_EQ(log.mid(0, 5), (QStringList{"startRequested", "started", "stopRequested", "stopped", "transcriptionStarted"}))
            << c.name;
        EXPECT_TRUE(log.contains("transcriptionCompleted")) << c.name;
        EXPECT_EQ(log.contains("directInsert"), c.directInsert) << c.name;
        if (c.directInsert && !c.pasteError && !c.duringPaste)
            EXPECT_EQ(rig.messageOf("directInsert"), c.switchApps ? "skipped: targetChanged" : "inserted") << c.name;
    }
}

TEST(DictationController, EmptyResultsFailuresAndLateResultsAfterACancel)
{
    {
        Rig rig;
        rig.controller->setTranscript("Kept.");
        rig.reach(Phase::transcribing);
        rig.finish(QString());
        EXPECT_EQ(rig.controller->transcript(), "Kept.");
        EXPECT_EQ(rig.controller->statusMessage(), "Transcription complete · Copied") << "an empty result still completes";
        EXPECT_EQ(rig.clipboard.text(), "Kept.");
    }
    {
        Rig rig;
        rig.reach(Phase::transcribing);
        rig.finish(WhisperTranscriberError::executableMissing("/cli"));
        EXPECT_EQ(rig.controller->statusMessage(), "Ready");
        EXPECT_FALSE(rig.controller->errorMessage().isEmpty());
        EXPECT_EQ(rig.actions().last(), "transcriptionFailed");
        EXPECT_EQ(rig.removed.size(), 1u);
    }
    {
        Rig rig;
        rig.controller->setTranscript("Before.");
        rig.reach(Phase::transcribing);
        ASSERT_TRUE(test::waitUntil([&] { return rig.producer->runs == 1; }));
        rig.controller->cancelTranscription(DictationActivationSource::popoverCancelButton());
        EXPECT_TRUE(rig.runWasCancelled()) << "the run's own tool is stopped";
        EXPECT_EQ(rig.controller->statusMessage(), "Transcription canceled");
        rig.producer->release(QString("Too late."));
        ASSERT_TRUE(test::waitUntil([&] { return rig.removed.size() == 1; }));
        QTest::qWait(50);
        EXPECT_EQ(rig.controller->transcript(), "Before.") << "a result after a cancel changes nothing";
        EXPECT_EQ(rig.controller->statusMessage(), "Transcription canceled");
        EXPECT_FALSE(rig.actions().contains("transcriptionCompleted"));
    }
}

TEST(DictationController, DurationWarningsAndTheAutoClearCountdown)
{
    Rig rig;
    qint64 now = 0;
    rig.controller->setClock([&] { return now; });
    rig.reach(Phase::recording); // the clock starts at 0
    now = 11 * 60 * 1000; // three thresholds passed at once
    ASSERT_TRUE(test::waitUntil([&] { return rig.controller->elapsedSeconds() >= 660; }));
    EXPECT_EQ(std::count(rig.sounds.begin(), rig.sounds.end(), DictationSound::stop), 3)
        << "3, 5 and 10 minutes, each once, in one tick";
    QTest::qWait(250);
    EXPECT_EQ(std::count(rig.sounds.begin(), rig.sounds.end(), DictationSound::stop), 3);

    Rig clearing;
    (void)clearing.defaults.setBool(Keys::autoClearTranscript, true);
    (void)clearing.defaults.setInteger(Keys::autoClearDelay, 1);
    clearing.reach(Phase::transcribing);
    clearing.finish(QString("Soon gone."));
    ASSERT_TRUE(test::waitUntil([&] { return clearing.controller->autoClearRemaining() == 1; }));
    ASSERT_TRUE(test::waitUntil([&] { return clearing.controller->transcript().isEmpty(); }));
    EXPECT_EQ(clearing.controller->autoClearRemaining(), 0);
}

TEST(DictationController, TheModelGateRefusesWithoutTouchingStatusOrError)
{
    Rig rig;
    DictationServices services;
    WhisperModelState state = WhisperModelState::downloading(427, 1000);
    int downloads = 0;
    services.defaults = &rig.defaults;
    services.recorder = &rig.recorder;
    services.managedModelPath = "/managed/model.bin";
    services.modelState = [&] { return state; };
    services.downloadModel = [&] { ++downloads; state = WhisperModelState::downloading(0, 0); };
    services.logger.emplace(rig.dir.path() + "/gate.log", 1'000'000, [] { return std::optional<platform::FrontmostApplication>(); });
    DictationController controller(std::move(services), {"/cli", "/managed/model.bin \n", "en"});
    EXPECT_TRUE(controller.usesDownloadedModel()) << "surrounding white space aside";
    controller.startRecording(DictationActivationSource::globalHotKey());
    EXPECT_EQ(rig.recorder.starts, 0);
    EXPECT_EQ(controller.statusMessage(), "Ready");
    EXPECT_TRUE(controller.errorMessage().isEmpty());
    const auto lines = test::readFile(rig.dir.path() + "/gate.log").split('\n');
    EXPECT_EQ(QJsonDocument::fromJson(lines[1]).object().value("message"),
              "The speech model is downloading (42 %). Recording works once it is done.");

    state = WhisperModelState::missing();
    controller.startRecording(DictationActivationSource::globalHotKey());
    EXPECT_EQ(downloads, 1) << "a missing model starts its download";
    state = WhisperModelState::ready();
    controller.startRecording(DictationActivationSource::globalHotKey());
    EXPECT_EQ(rig.recorder.starts, 1);
    controller.setModelPath("/elsewhere/custom.bin");
    EXPECT_FALSE(controller.usesDownloadedModel());
}

namespace {

struct BrowserRig : Rig {
    std::vector<BrowserBridgeEvent> events;
    bool start(const QString& id)
    {
        return controller->startBrowserSession(id, [this](const BrowserBridgeEvent& e) { events.push_back(e); });
    }
    std::vector<BrowserBridgeEvent::Kind> kinds() const
    {
        std::vector<BrowserBridgeEvent::Kind> list;
        for (const auto& e : events)
            list.push_back(e.kind);
        return list;
    }
};

using K = BrowserBridgeEvent::Kind;

} // namespace

TEST(BrowserSessions, StopBeforeTheMicrophoneIsReadyRecordsThenTranscribes)
{
    BrowserRig rig;
    rig.frontmost = rig.editor;
    (void)rig.defaults.setBool(Keys::directInsert, true);
    ASSERT_TRUE(rig.start("s1"));
    rig.controller->stopBrowserSession("s1");
    EXPECT_EQ(rig.recorder.stops, 0) << "remembered until the recorder is ready";
    rig.recorder.confirmStart();
    EXPECT_EQ(rig.recorder.stops, 1);
    rig.recorder.confirmStop("/tmp/browser.wav");
    EXPECT_EQ(rig.kinds(), (std::vector<K>{K::recording, K::transcribing}));
    rig.finish(QString("Hallo\n  aus dem Browser "));
    ASSERT_EQ(rig.kinds(), (std::vector<K>{K::recording, K::transcribing, K::completed}));
    EXPECT_EQ(rig.events.back().text, "Hallo aus dem Browser");
    EXPECT_FALSE(rig.controller->hasBrowserSession());
    EXPECT_TRUE(rig.pasted.empty()) << "a browser's text never goes to the window in front";
    EXPECT_EQ(rig.controller->transcript(), "Hallo\n  aus dem Browser") << "it joins the transcript like any other";
    EXPECT_TRUE(rig.actions().contains("stopRequested"));
}

TEST(BrowserSessions, CancelInEveryPhase)
{
    {
        BrowserRig starting; // before the microphone is ready: both files go, no recording event
        ASSERT_TRUE(starting.start("a"));
        starting.controller->cancelBrowserSession("a");
        starting.recorder.confirmStart();
        starting.recorder.confirmStop("/tmp/stopped.wav");
        EXPECT_EQ(starting.kinds(), std::vector<K>{K::canceled});
        EXPECT_EQ(starting.removed, (std::vector<QString>{"/tmp/velmora-test.wav", "/tmp/stopped.wav"}));
        EXPECT_EQ(starting.controller->statusMessage(), "Ready");
        EXPECT_FALSE(starting.controller->isRecording());
    }
    {
        BrowserRig recording;
        ASSERT_TRUE(recording.start("a"));
        recording.recorder.confirmStart();
        recording.controller->cancelBrowserSession("a");
        recording.controller->stopRecording(DictationActivationSource::globalHotKey()); // ignored while discarding
        recording.recorder.confirmStop("/tmp/discarded.wav");
        EXPECT_EQ(recording.kinds(), (std::vector<K>{K::recording, K::canceled}));
        // every file the recorder named for it goes (the real one names the same file twice)
        EXPECT_EQ(recording.removed, (std::vector<QString>{"/tmp/velmora-test.wav", "/tmp/discarded.wav"}));
        EXPECT_FALSE(recording.controller->isRecording());
        EXPECT_FALSE(recording.actions().contains("stopped"));
    }
    {
        BrowserRig stopping;
        ASSERT_TRUE(stopping.start("a"));
        stopping.recorder.confirmStart();
        stopping.controller->stopBrowserSession("a");
        stopping.controller->cancelBrowserSession("a");
        stopping.recorder.confirmStop("/tmp/stopped.wav");
        EXPECT_EQ(stopping.kinds(), (std::vector<K>{K::recording, K::canceled})) << "no transcribing event";
        EXPECT_EQ(stopping.removed, (std::vector<QString>{"/tmp/velmora-test.wav", "/tmp/stopped.wav"}));
        EXPECT_EQ(stopping.producer->runs, 0);
    }
    {
        BrowserRig transcribing;
        ASSERT_TRUE(transcribing.start("a"));
        transcribing.recorder.confirmStart();
        transcribing.controller->stopBrowserSession("a");
        transcribing.recorder.confirmStop("/tmp/take.wav");
        transcribing.controller->cancelBrowserSession("a");
        EXPECT_EQ(transcribing.kinds(), (std::vector<K>{K::recording, K::transcribing, K::canceled}));
        EXPECT_EQ(transcribing.controller->statusMessage(), "Transcription canceled");
        transcribing.producer->release(QString("late"));
        ASSERT_TRUE(test::waitUntil([&] { return transcribing.removed.size() == 1; }));
        QTest::qWait(30);
        EXPECT_EQ(transcribing.kinds().size(), 3u) << "one result per session";
    }
}

TEST(BrowserSessions, RefusalsAndWrongIdentifiers)
{
    BrowserRig rig;
    ASSERT_TRUE(rig.start("a"));
    EXPECT_FALSE(rig.start("b"));
    ASSERT_EQ(rig.events.size(), 1u);
    EXPECT_EQ(rig.events[0].kind, K::failed);
    EXPECT_EQ(rig.events[0].session, "b");
    EXPECT_EQ(rig.events[0].message, "Velmora diktiert gerade bereits.");
    rig.controller->stopBrowserSession("b");
    rig.controller->cancelBrowserSession("b");
    rig.recorder.confirmStart();
    EXPECT_TRUE(rig.controller->isRecording()) << "the running session is not disturbed";
    rig.controller->startRecording(DictationActivationSource::globalHotKey());
    EXPECT_EQ(rig.actions().last(), "startIgnored");

    BrowserRig live;
    (void)live.defaults.setString(Keys::dictationMode, "stream");
    EXPECT_FALSE(live.start("x"));
    EXPECT_EQ(live.events.at(0).code, BrowserBridgeFailureCode::liveMode);
    EXPECT_EQ(live.events.at(0).message, "Velmora ist im Live-Modus. Bitte auf Standard umstellen.");

    BrowserRig denied;
    ASSERT_TRUE(denied.start("m"));
    std::exchange(denied.recorder.pendingStart, {})(AudioRecorderError::permissionDenied());
    EXPECT_EQ(denied.events.at(0).code, BrowserBridgeFailureCode::microphoneDenied);
    EXPECT_FALSE(denied.controller->hasBrowserSession());
}

TEST(BrowserSessions, LongTextIsCutAtWhiteSpaceAndSilenceIsEmpty)
{
    BrowserRig rig;
    ASSERT_TRUE(rig.start("long"));
    rig.recorder.confirmStart();
    rig.controller->stopBrowserSession("long");
    rig.recorder.confirmStop("/tmp/long.wav");
    QString words;
    while (words.size() < 30000)
        words += "wort ";
    rig.finish(words.trimmed());
    const QString text = rig.events.back().text;
    EXPECT_LE(text.size(), 20000);
    EXPECT_GT(text.size(), 19990);
    EXPECT_TRUE(text.endsWith("wort"));

    BrowserRig quiet;
    ASSERT_TRUE(quiet.start("q"));
    quiet.recorder.confirmStart();
    quiet.controller->stopBrowserSession("q");
    quiet.recorder.confirmStop("/tmp/q.wav");
    quiet.finish(QString());
    EXPECT_EQ(quiet.kinds().back(), K::empty);
}

namespace {

struct LiveRig : Rig {
    LiveRig()
    {
        (void)defaults.setString(Keys::dictationMode, "stream");
        (void)defaults.setBool(Keys::autoCopyToClipboard, true);
        test::writeFile(dir.path() + "/model.bin", "model");
        controller->setModelPath(dir.path() + "/model.bin");
    }
    // A whisper-stream that says `words` and then runs until it is told to stop.
    void toolSays(const QByteArray& words)
    {
        streamTool = test::writeScript(dir.path() + "/whisper-stream",
                                       "trap 'exit 0' TERM INT\nprintf '[Start speaking]\\n'\n"
                                       + (words.isEmpty() ? QByteArray() : "printf '\\033[2K\\r" + words + "\\n'\n")
                                       + "while :; do sleep 0.05; done\n");
    }
    bool stopAndWait()
    {
        controller->stopRecording(DictationActivationSource::globalHotKey());
        return test::waitUntil([&] { return !controller->isTranscribing(); }, std::chrono::seconds(10));
    }
};

} // namespace

TEST(LiveDictation, ShowsTheLiveTextAfterTheEarlierTranscriptAndCopiesTheWhole)
{
    LiveRig rig;
    rig.toolSays("we ship kubernetis today");
    rig.controller->setVocabulary({{QUuid::createUuid(), "Kubernetes", {"kubernetis"}}});
    rig.controller->setTranscript("Earlier.");
    rig.controller->startRecording(DictationActivationSource::globalHotKey());
    ASSERT_TRUE(rig.controller->isRecording()) << rig.controller->errorMessage().toStdString();
    EXPECT_EQ(rig.controller->statusMessage(), "Live transcribing...");
    ASSERT_TRUE(test::waitUntil([&] { return rig.controller->transcript() == "Earlier.\nwe ship Kubernetes today"; }))
        << rig.controller->transcript().toStdString();
    // The preference changing meanwhile does not change how this session stops.
    (void)rig.defaults.setString(Keys::dictationMode, "batch");
    ASSERT_TRUE(rig.stopAndWait());
    EXPECT_EQ(rig.recorder.stops, 0);
    EXPECT_EQ(rig.controller->transcript(), "Earlier.\nwe ship Kubernetes today");
    EXPECT_EQ(rig.controller->statusMessage(), "Copied to clipboard");
    EXPECT_EQ(rig.clipboard.text(), "Earlier.\nwe ship Kubernetes today");
    EXPECT_EQ(rig.actions(), (QStringList{"startRequested", "started", "stopRequested", "stopped"}));
    EXPECT_TRUE(test::waitUntil([] { return test::childProcesses().isEmpty(); }));
}

TEST(LiveDictation, SilenceOnAnEmptyTranscriptEndsReadyWithoutACopy)
{
    LiveRig rig;
    rig.toolSays("");
    rig.controller->startRecording(DictationActivationSource::globalHotKey());
    ASSERT_TRUE(rig.controller->isRecording());
    ASSERT_TRUE(rig.stopAndWait());
    EXPECT_TRUE(rig.controller->transcript().isEmpty());
    EXPECT_EQ(rig.controller->statusMessage(), "Ready");
    EXPECT_EQ(rig.clipboard.count, 0);
}

TEST(LiveDictation, NoToolInTheBundle)
{
    LiveRig rig;
    rig.controller->startRecording(DictationActivationSource::globalHotKey());
    EXPECT_FALSE(rig.controller->isRecording());
    EXPECT_EQ(rig.controller->errorMessage(), "whisper-stream not found in app bundle.");
    EXPECT_EQ(rig.controller->statusMessage(), "Ready");
}

namespace {

struct ScriptedCenter : platform::NotificationCenter {
    std::optional<Authorization> authorization_ = Authorization::authorized;
    QString failure;
    bool delivers = true;
    std::vector<QString> bodies;
    void authorization(QObject* context, std::function<void(std::optional<Authorization>, const QString&)> done) override
    {
        QTimer::singleShot(0, context, [this, done] { done(authorization_, failure); });
    }
    void post(const Notice& notice, QObject* context, std::function<void(bool)> done) override
    {
        bodies.push_back(notice.body);
        QTimer::singleShot(0, context, [this, done] { done(delivers); });
    }
};

} // namespace

TEST(DictationNotices, TheSettingsToggleAndTheCompletionNotice)
{
    Rig rig;
    auto* center = new ScriptedCenter;
    TranscriptionNotificationService notices{std::unique_ptr<platform::NotificationCenter>(center)};
    DictationServices services;
    services.defaults = &rig.defaults;
    services.recorder = &rig.recorder;
    services.notices = &notices;
    DictationController controller(std::move(services), {"/cli", "/model.bin", "en"});

    center->authorization_ = platform::NotificationCenter::Authorization::denied;
    controller.setNotifyOnTranscriptionComplete(true);
    ASSERT_TRUE(test::waitUntil([&] { return !controller.errorMessage().isEmpty(); }));
    EXPECT_EQ(controller.errorMessage(), "Notifications are unavailable: no notification service is running on this desktop.");
    EXPECT_EQ(rig.defaults.boolValue(Keys::notifyOnTranscriptionComplete), true);

    // Allowed later, switched off and on: the message goes and a probe is posted.
    center->authorization_ = platform::NotificationCenter::Authorization::authorized;
    controller.setNotifyOnTranscriptionComplete(false);
    controller.setNotifyOnTranscriptionComplete(true);
    ASSERT_TRUE(test::waitUntil([&] { return controller.errorMessage().isEmpty(); }));
    ASSERT_TRUE(test::waitUntil([&] { return center->bodies.size() == 1; }));
    EXPECT_EQ(center->bodies[0], "Notifications are enabled.");

    // A completion notice that is not delivered says so once per run.
    center->delivers = false;
    controller.postTranscriptionCompletionNotification(true);
    ASSERT_TRUE(test::waitUntil([&] { return !controller.errorMessage().isEmpty(); }));
    EXPECT_EQ(controller.errorMessage(),
              "Notification could not be delivered. Check that your desktop's notification service is running.");
    controller.clearTranscript();
    controller.postTranscriptionCompletionNotification(true);
    QTest::qWait(50);
    EXPECT_TRUE(controller.errorMessage().isEmpty()) << "only the first failure is shown";
}

TEST(DictationController, SettersStoreAndTheWarmUpWaitsForTheModel)
{
    Rig rig;
    rig.controller->setMode(DictationMode::stream);
    rig.controller->setAutoClearDelay(7);
    rig.controller->setDirectInsertEnabled(true);
    EXPECT_EQ(rig.defaults.stringValue(Keys::dictationMode), "stream");
    EXPECT_EQ(rig.controller->autoClearDelay(), 7);
    EXPECT_TRUE(rig.controller->directInsertEnabled());

    QObject notifier;
    WhisperModelState state = WhisperModelState::verifying();
    std::vector<WhisperConfiguration> warmUps;
    std::function<void()> changed;
    DictationServices services;
    services.defaults = &rig.defaults;
    services.recorder = &rig.recorder;
    services.managedModelPath = "/managed.bin";
    services.modelState = [&] { return state; };
    services.onModelStateChanged = [&](QObject* context, std::function<void()> f) {
        changed = f;
        return QObject::connect(&notifier, &QObject::objectNameChanged, context, [] {});
    };
    services.startWarmUpOnce = [&](const WhisperConfiguration& c) { warmUps.push_back(c); };
    DictationController controller(std::move(services), {"/cli", "/managed.bin", "de"});
    controller.startWhisperWarmUp();
    EXPECT_TRUE(warmUps.empty()) << "not before the model is ready";
    changed();
    EXPECT_TRUE(warmUps.empty());
    state = WhisperModelState::ready();
    controller.setLanguage("en");
    changed();
    ASSERT_EQ(warmUps.size(), 1u);
    EXPECT_EQ(warmUps[0].language, "en") << "the configuration of that moment";
}

TEST(RuntimeRestore, WorkingPathsBeforeAStart)
{
    const QSet<QString> executables{"/custom/whisper-cli", "/usr/local/bin/whisper-cli"};
    const QSet<QString> files{"/custom/model.bin", "/custom/whisper-cli"};
    platform::FileProbe probe;
    probe.isExecutableFile = [&](const QString& p) { return executables.contains(p); };
    probe.exists = [&](const QString& p) { return files.contains(p) || executables.contains(p); };
    probe.environment = [](const char*) { return std::optional<QString>(); };
    const BundledWhisperRuntime shipped{"/bundle/Resources/WhisperRuntime/bin/whisper-cli", std::nullopt, std::nullopt};
    const struct {
        const char* name;
        WhisperConfiguration current;
        std::optional<BundledWhisperRuntime> runtime;
        WhisperConfiguration expected;
    } cases[] = {
        {"the shipped tool wins", {"/custom/whisper-cli", "/custom/model.bin", "de"}, shipped,
         {shipped.executablePath, "/custom/model.bin", "de"}},
        {"a working custom tool stays", {"/custom/whisper-cli", "/custom/model.bin", "de"}, std::nullopt,
         {"/custom/whisper-cli", "/custom/model.bin", "de"}},
        {"a vanished tool falls back", {"/gone/whisper-cli", "/custom/model.bin", "en"}, std::nullopt,
         {"/usr/local/bin/whisper-cli", "/custom/model.bin", "en"}},
        {"a deleted model goes back to the managed one", {"/custom/whisper-cli", "/deleted.bin", "auto"}, std::nullopt,
         {"/custom/whisper-cli", "/managed.bin", "auto"}},
        {"no model at all", {"/custom/whisper-cli", "", "auto"}, std::nullopt, {"/custom/whisper-cli", "/managed.bin", "auto"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(restoredRuntime(c.current, "/managed.bin", c.runtime, probe), c.expected) << c.name;
}

TEST(DictationController, EachFailureEndsInItsStateAndText)
{
    const struct {
        const char* name;
        std::function<void(Rig&)> fail;
        QString error;
        QString lastAction;
    } cases[] = {
        {"no sound server at the start",
         [](Rig& r) {
             r.controller->startRecording(DictationActivationSource::globalHotKey());
             std::exchange(r.recorder.pendingStart, {})(AudioRecorderError::noSoundServer());
         },
         AudioRecorderError::noSoundServer().description(), "startFailed"},
        {"microphone refused",
         [](Rig& r) {
             r.controller->startRecording(DictationActivationSource::globalHotKey());
             std::exchange(r.recorder.pendingStart, {})(AudioRecorderError::permissionDenied());
         },
         AudioRecorderError::permissionDenied().description(), "startFailed"},
        {"tool missing",
         [](Rig& r) {
             r.reach(Phase::transcribing);
             r.finish(WhisperTranscriberError::executableMissing("/cli"));
         },
         WhisperTranscriberError::executableMissing("/cli").description(), "transcriptionFailed"},
        {"model missing",
         [](Rig& r) {
             r.reach(Phase::transcribing);
             r.finish(WhisperTranscriberError::modelMissing("/model.bin"));
         },
         WhisperTranscriberError::modelMissing("/model.bin").description(), "transcriptionFailed"},
        {"tool failed",
         [](Rig& r) {
             r.reach(Phase::transcribing);
             r.finish(WhisperTranscriberError::processFailure("exit 3"));
         },
         WhisperTranscriberError::processFailure("exit 3").description(), "transcriptionFailed"},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.controller->setTranscript("Kept.");
        c.fail(rig);
        EXPECT_FALSE(rig.controller->isRecording()) << c.name;
        EXPECT_FALSE(rig.controller->isTranscribing()) << c.name;
        EXPECT_EQ(rig.controller->statusMessage(), "Ready") << c.name;
        EXPECT_EQ(rig.controller->errorMessage(), c.error) << c.name;
        EXPECT_EQ(rig.controller->transcript(), "Kept.") << c.name;
        EXPECT_EQ(rig.actions().last(), c.lastAction) << c.name;
        // A new start works after every failure.
        rig.controller->startRecording(DictationActivationSource::globalHotKey());
        EXPECT_EQ(rig.controller->statusMessage(), "Requesting microphone...") << c.name;
        EXPECT_TRUE(rig.controller->errorMessage().isEmpty()) << c.name;
    }
}

TEST(DictationController, TheCopiedIndicatorAndClearingWhileRecording)
{
    Rig rig;
    rig.controller->setTranscript("Some text.");
    rig.controller->copyTranscript();
    EXPECT_TRUE(rig.controller->showCopiedIndicator());
    EXPECT_EQ(rig.controller->statusMessage(), "Copied to clipboard");
    EXPECT_EQ(rig.clipboard.text(), "Some text.");
    ASSERT_TRUE(test::waitUntil([&] { return !rig.controller->showCopiedIndicator(); }));

    rig.reach(Phase::recording);
    rig.controller->clearTranscript();
    EXPECT_TRUE(rig.controller->transcript().isEmpty());
    EXPECT_EQ(rig.controller->statusMessage(), "Recording...");
    EXPECT_EQ(rig.controller->configuration().language, "en");
    rig.controller->setLanguage("  ");
    EXPECT_EQ(rig.controller->configuration().language, "auto");
}

TEST(LiveDictation, TheCorrectionsAreThoseOfTheStart)
{
    LiveRig rig;
    rig.toolSays("deploy kubernetis");
    rig.controller->setVocabulary({{QUuid::createUuid(), "Kubernetes", {"kubernetis"}}});
    rig.controller->startRecording(DictationActivationSource::globalHotKey());
    ASSERT_TRUE(rig.controller->isRecording());
    ASSERT_TRUE(test::waitUntil([&] { return !rig.controller->transcript().isEmpty(); }));
    rig.controller->setVocabulary({}); // changed during the session: applies to the next one
    ASSERT_TRUE(rig.stopAndWait());
    EXPECT_EQ(rig.controller->transcript(), "deploy Kubernetes");
}

// Two quick clicks: cancel while the live tool is still finishing, start again at once.
// The new dictation gets a tool of its own; nothing of the old one reaches it.
TEST(LiveDictation, ACancelWhileFinishingThenAStartAtOnceBelongsToTheNewDictation)
{
    LiveRig rig;
    // A tool that lingers after it is asked to stop, then says its last words.
    rig.streamTool = test::writeScript(rig.dir.path() + "/whisper-stream",
                                       "trap 'sleep 1; printf \"\\033[2K\\rold words\\n\"; exit 0' TERM INT\n"
                                       "printf '[Start speaking]\\n'\n"
                                       "while :; do sleep 0.05; done\n");
    rig.controller->setTranscript("Earlier.");
    const auto source = DictationActivationSource::popoverRecordButton();
    rig.controller->startRecording(source);
    ASSERT_TRUE(rig.controller->isRecording());
    rig.controller->stopRecording(source);
    ASSERT_TRUE(rig.controller->isTranscribing());
    rig.controller->cancelTranscription(DictationActivationSource::popoverCancelButton());
    rig.controller->startRecording(source);
    ASSERT_TRUE(rig.controller->isRecording()) << rig.controller->errorMessage().toStdString();
    EXPECT_EQ(rig.streamsMade, 2);
    EXPECT_EQ(rig.controller->statusMessage(), "Live transcribing...");
    QTest::qWait(1500); // past the old tool's last words
    EXPECT_EQ(test::childProcesses().size(), 1) << "only the new dictation's tool runs";
    EXPECT_TRUE(rig.controller->isRecording());
    EXPECT_EQ(rig.controller->statusMessage(), "Live transcribing...");
    EXPECT_EQ(rig.controller->transcript(), "Earlier.") << "the cancelled dictation's words never arrive";
    EXPECT_EQ(rig.clipboard.count, 0) << "nothing was copied";
}

// The hot key that starts the next dictation is the very modifier the paste waits for.
TEST(DictationController, AStartWhileThePasteWaitsKeepsItsOwnStatus)
{
    Rig rig;
    (void)rig.defaults.setBool(Keys::directInsert, true);
    (void)rig.defaults.setBool(Keys::autoCopyToClipboard, false);
    const auto hotKey = DictationActivationSource::globalHotKey();
    bool busyDuringPaste = false;
    rig.duringPaste = [&] {
        busyDuringPaste = rig.controller->hasDictationInProgress(); // what --quit asks
        rig.controller->startRecording(hotKey);
        rig.recorder.confirmStart();
    };
    rig.reach(Phase::transcribing);
    rig.finish(QString("First take."));
    ASSERT_TRUE(test::waitUntil([&] { return rig.actions().contains("directInsert"); }));
    EXPECT_TRUE(busyDuringPaste) << "a quit must wait for the paste and its restore";
    EXPECT_EQ(rig.pasted, std::vector<QString>{"First take."});
    EXPECT_TRUE(rig.controller->isRecording());
    EXPECT_EQ(rig.controller->statusMessage(), "Recording...") << "the earlier dictation's line never replaces it";
    ASSERT_TRUE(test::waitUntil([&] { return !rig.inserter.hasPendingRestore(); }));
    rig.controller->stopRecording(hotKey);
    EXPECT_EQ(rig.recorder.stops, 2);
}

// A browser cancel right after the stop: that run is still queued behind another one.
TEST(DictationController, ACancelBeforeTheToolStartsStopsThatRunAndNoOther)
{
    BrowserRig rig;
    // A local dictation whose tool is still running (it ignores its cancel for a while).
    rig.reach(Phase::transcribing);
    ASSERT_TRUE(test::waitUntil([&] { return rig.producer->runs == 1; }));
    rig.controller->cancelTranscription(DictationActivationSource::popoverCancelButton());
    EXPECT_TRUE(rig.runWasCancelled());
    // The browser's dictation queues its run behind it, and is cancelled at once.
    ASSERT_TRUE(rig.start("b"));
    rig.recorder.confirmStart();
    rig.controller->stopBrowserSession("b");
    rig.recorder.confirmStop("/tmp/browser.wav");
    QTest::qWait(20);
    rig.controller->cancelBrowserSession("b");
    EXPECT_EQ(rig.kinds(), (std::vector<K>{K::recording, K::transcribing, K::canceled}));
    rig.producer->release(QString("late"));
    ASSERT_TRUE(test::waitUntil([&] {
        return std::count(rig.removed.begin(), rig.removed.end(), QString("/tmp/browser.wav")) == 1;
    }));
    QTest::qWait(50);
    EXPECT_EQ(rig.producer->runs, 1) << "the cancelled run never started its tool";
    EXPECT_FALSE(rig.controller->hasDictationInProgress());
    EXPECT_EQ(rig.controller->statusMessage(), "Transcription canceled");
    EXPECT_EQ(rig.kinds().size(), 3u);
}
