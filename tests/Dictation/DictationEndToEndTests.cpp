// A batch dictation through the real parts: the sound server's TestMic, the
// transcriber with a whisper-cli that answers a known text, the X clipboard, XTest
// and another client in front.
#include "Audio/AudioRecorderService.h"
#include "BrowserBridge/BrowserBridge.h"
#include "BrowserBridge/BrowserBridgeCodec.h"
#include "BrowserBridge/BrowserBridgeCoordinator.h"
#include "BrowserBridge/LineDecoder.h"
#include "Dictation/DictationController.h"
#include "Dictation/DictationStack.h"
#include "Vocabulary/VocabularyStore.h"
#include "Vocabulary/VocabularySync.h"
#include "Engine/BundledWhisperRuntime.h"
#include "Engine/WhisperStreamTranscriber.h"
#include "Engine/WhisperTranscriber.h"
#include "Platform/MemoryPreferencesStore.h"
#include "Platform/TextDelivery.h"
#include "Preferences/PreferenceKeys.h"
#include "TextDelivery/DirectInserter.h"
#include "TextDelivery/OwnApplicationFocus.h"
#include "TextDelivery/SystemPasteboard.h"
#include "TextDelivery/TranscriptionNotificationService.h"
#include "Platform/Linux/FreedesktopNotifications.h"

#include "NotificationBus.h"
#include "TestSupport.h"
#include "X11TestClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;

TEST(DictationEndToEnd, SpeakStopAndTheTextIsEverywhereItShouldBe)
{
    QTemporaryDir dir;
    platform::MemoryPreferencesStore defaults;
    namespace Keys = PreferenceKeys;
    (void)defaults.setBool(Keys::directInsert, true);
    (void)defaults.setBool(Keys::autoCopyToClipboard, true);
    (void)defaults.setBool(Keys::notifyOnTranscriptionComplete, true);
    (void)defaults.setBool(Keys::autoClearTranscript, false);
    (void)defaults.setBool(Keys::soundEffectsEnabled, false);
    ASSERT_TRUE(test::setKeyboardLayout("us"));
    // A session bus with a notification server that writes down what it is told.
    test::PrivateBus bus;
    test::RecordingServer server;
    ASSERT_TRUE(server.serveOn(bus.connect("server")));
    TranscriptionNotificationService notices(
        std::make_unique<platform::FreedesktopNotifications>(bus.connect("velmora")));

    // The tool checks that it was given a real recording, then answers.
    const QString heard = dir.path() + "/heard.wav";
    const QString cli = test::writeScript(dir.path() + "/whisper-cli",
                                          "while [ $# -gt 0 ]; do case \"$1\" in -f) in=$2;; -of) out=$2;; esac; shift; done\n"
                                          "[ $(wc -c < \"$in\") -gt 32000 ] || exit 3\n"
                                          "cp \"$in\" '" + heard.toUtf8() + "'\n"
                                          "printf 'We ship kubernetis on Friday.' > \"$out.txt\"\n");
    test::writeFile(dir.path() + "/model.bin", "model");

    AudioRecorderService recorder(dir.path() + "/recordings");
    QDir().mkpath(dir.path() + "/recordings");
    auto transcriber = std::make_shared<WhisperTranscriber>(
        dir.path(), [](const WhisperConfiguration&) { return std::optional<QString>(); },
        [] { return std::optional<BundledWhisperRuntime>(); });
    SystemPasteboard clipboard(platform::Selection::clipboard), primary(platform::Selection::primary);
    DirectInserter inserter(clipboard, primary);
    const auto frontmost = std::shared_ptr(platform::TextDelivery::frontmostApplication());
    std::vector<QString> removed;

    DictationServices services;
    services.defaults = &defaults;
    services.recorder = &recorder;
    services.produceSegment = defaultSegmentProducer(transcriber);
    services.inserter = &inserter;
    services.clipboard = &clipboard;
    services.canPostKeys = [] { return platform::TextDelivery::keyInjector()->canPost(); };
    services.frontmost = [frontmost] { return frontmost->current(); };
    services.ownFocus = &ownApplicationHasFocus;
    services.logger.emplace(dir.path() + "/activation.log", 1'000'000);
    services.notices = &notices;
    services.removeFile = [&removed](const QString& path) {
        removed.push_back(path);
        QFile::remove(path);
    };
    services.loadVocabulary = [] {
        return QList<VocabularyEntry>{{QUuid::createUuid(), "Kubernetes", {"kubernetis"}}};
    };
    DictationController controller(std::move(services), {cli, dir.path() + "/model.bin", "en"});

    // Another application in front, as the user works in it.
    QProcess target;
    const QString typed = dir.path() + "/typed.txt";
    target.start(VELMORA_PASTE_TARGET, {"window", typed});
    ASSERT_TRUE(target.waitForReadyRead(10000));
    ASSERT_TRUE(test::waitUntil([&] {
        const auto now = frontmost->current();
        return now && now->processId == target.processId();
    }, std::chrono::seconds(10)));

    controller.setTranscript("Earlier words.");
    controller.toggleRecording(DictationActivationSource::globalHotKey());
    ASSERT_TRUE(test::waitUntil([&] { return controller.isRecording(); }, std::chrono::seconds(10)))
        << controller.errorMessage().toStdString();
    // The user speaks into TestMic.
    const QString spoken = dir.path() + "/spoken.wav";
    ASSERT_EQ(test::runProcess("espeak-ng", {"-w", spoken, "We ship Kubernetes on Friday."}).exitCode, 0);
    QProcess feed;
    feed.start(QString::fromLocal8Bit(qgetenv("VELMORA_RIG_FEED_MIC")), {spoken});
    ASSERT_TRUE(feed.waitForFinished(15000));
    controller.toggleRecording(DictationActivationSource::globalHotKey());
    ASSERT_TRUE(test::waitUntil([&] { return !controller.isRecording() && !controller.isTranscribing(); },
                                std::chrono::seconds(20)))
        << controller.errorMessage().toStdString();
    ASSERT_TRUE(controller.errorMessage().isEmpty()) << controller.errorMessage().toStdString();

    EXPECT_EQ(controller.transcript(), "Earlier words.\nWe ship Kubernetes on Friday.");
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(typed) == "We ship Kubernetes on Friday."; }))
        << test::readFile(typed).toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return controller.statusMessage() == "Transcription complete · Inserted & copied"; }))
        << controller.statusMessage().toStdString();
    EXPECT_GT(QFileInfo(heard).size(), 1000) << "the tool got the recording";
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(removed[0])) << "the recording is gone";

    QStringList actions;
    for (const QByteArray& line : test::readFile(dir.path() + "/activation.log").split('\n'))
        if (!line.isEmpty())
            actions << QJsonDocument::fromJson(line).object().value("action").toString();
    EXPECT_EQ(actions, (QStringList{"startRequested", "started", "stopRequested", "stopped", "transcriptionStarted",
                                    "directInsert", "transcriptionCompleted"}));
    ASSERT_TRUE(test::waitUntil([&] { return !server.calls.empty(); }));
    EXPECT_EQ(server.calls[0].body, "Transcription complete and copied to clipboard.");
    target.kill();
    target.waitForFinished();
}

TEST(DictationStack, RealServicesWiredToTheController)
{
    QTemporaryDir dir;
    auto defaults = std::make_shared<platform::MemoryPreferencesStore>();
    (void)defaults->setString(PreferenceKeys::cloudFolder, dir.path() + "/Sync");
    QDir().mkpath(dir.path() + "/Sync/Velmora");
    const auto bundle = platform::MainBundle::forExecutable(test::bundleDir() + "/bin/velmora", std::nullopt);
    DictationStack stack(defaults, dir.path(), test::bundleDir() + "/Resources/sounds", bundle);
    DictationController& controller = stack.controller();

    // The shipped tool, and the managed model while no other is set.
    EXPECT_EQ(controller.executablePath(), test::bundleDir() + "/Resources/WhisperRuntime/bin/whisper-cli");
    EXPECT_TRUE(controller.usesDownloadedModel());

    // A list edited on another computer reaches the controller and is not written back.
    const VocabularyEntry entry{QUuid::createUuid(), "Velmora", {"vel mora"}};
    test::writeFile(dir.path() + "/Sync/Velmora/vocabulary.json", VocabularyStore::encode({entry}));
    stack.vocabulary().refresh();
    ASSERT_TRUE(test::waitUntil([&] { return controller.vocabulary() == QList<VocabularyEntry>{entry}; }));
    EXPECT_FALSE(stack.vocabulary().hasPendingEdit());

}

TEST(DictationEndToEnd, ALiveSessionWithTheRealWhisperStream)
{
    QTemporaryDir dir;
    platform::MemoryPreferencesStore defaults;
    (void)defaults.setString(PreferenceKeys::dictationMode, "stream");
    (void)defaults.setBool(PreferenceKeys::soundEffectsEnabled, false);
    (void)defaults.setBool(PreferenceKeys::notifyOnTranscriptionComplete, false);
    const auto bundle = platform::MainBundle::forExecutable(test::bundleDir() + "/bin/velmora", std::nullopt);
    const auto runtime = BundledWhisperRuntime::current(bundle);
    ASSERT_TRUE(runtime && runtime->streamExecutablePath) << "no whisper-stream in the bundle; run scripts/setup";

    DictationServices services;
    services.defaults = &defaults;
    services.makeStream = [] { return std::make_unique<WhisperStreamTranscriber>(); };
    services.streamExecutable = [runtime] { return runtime->streamExecutablePath; };
    services.logger.emplace(dir.path() + "/activation.log", 1'000'000);
    DictationController controller(std::move(services), {runtime->executablePath, test::testModel(), "en"});

    controller.startRecording(DictationActivationSource::globalHotKey());
    ASSERT_TRUE(controller.isRecording()) << controller.errorMessage().toStdString();
    EXPECT_EQ(controller.statusMessage(), "Live transcribing...");
    QTest::qWait(1500); // the tool listens to TestMic; the test model's words mean nothing
    controller.stopRecording(DictationActivationSource::globalHotKey());
    EXPECT_FALSE(controller.isRecording());
    EXPECT_TRUE(controller.isTranscribing());
    EXPECT_EQ(controller.statusMessage(), "Finishing live transcription...");
    ASSERT_TRUE(test::waitUntil([&] { return !controller.isTranscribing(); }, std::chrono::seconds(15)));
    const QString status = controller.statusMessage();
    EXPECT_TRUE(status == "Ready" || status == "Copied to clipboard") << status.toStdString();
    EXPECT_TRUE(controller.errorMessage().isEmpty()) << controller.errorMessage().toStdString();
    EXPECT_TRUE(test::waitUntil([] { return test::childProcesses().isEmpty(); })) << "whisper-stream is gone";
}

namespace {

// A browser's native-messaging host: the real velmora executable in host mode.
class BrowserHost {
public:
    BrowserHost()
    {
        m_process.start(test::velmoraExecutable(), {BrowserBridge::allowedOrigin});
        EXPECT_TRUE(m_process.waitForStarted());
    }
    ~BrowserHost() { kill(); }
    void send(const char* type, const char* session)
    {
        m_process.write(NativeMessagingFrameDecoder::frame(QByteArray("{\"session\":\"") + session + "\",\"type\":\"" + type
                                                           + "\",\"v\":1}"));
    }
    // Waits for the events so far to include `count` of them.
    QList<QByteArray> events(int count)
    {
        test::waitUntil([&] {
            m_process.waitForReadyRead(10);
            const auto got = m_decoder.feed(m_process.readAllStandardOutput());
            if (std::holds_alternative<QList<QByteArray>>(got))
                m_frames += std::get<QList<QByteArray>>(got);
            return m_frames.size() >= count;
        }, std::chrono::seconds(20));
        return m_frames;
    }
    void kill()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    QProcess m_process;
    NativeMessagingFrameDecoder m_decoder{1 << 20};
    QList<QByteArray> m_frames;
};

QByteArray event(const BrowserBridgeEvent& e)
{
    return BrowserBridgeCodec::encode(e);
}

} // namespace

TEST(DictationEndToEnd, BrowserSessionsThroughARealHostProcess)
{
    QTemporaryDir dir;
    platform::MemoryPreferencesStore defaults;
    (void)defaults.setBool(PreferenceKeys::soundEffectsEnabled, false);
    (void)defaults.setBool(PreferenceKeys::notifyOnTranscriptionComplete, false);
    const QString cli = test::writeScript(dir.path() + "/whisper-cli",
                                          "while [ $# -gt 0 ]; do [ \"$1\" = -of ] && out=$2; shift; done\n"
                                          "printf 'Grüße aus dem Browser' > \"$out.txt\"\n");
    test::writeFile(dir.path() + "/model.bin", "model");
    QDir().mkpath(dir.path() + "/recordings");
    AudioRecorderService recorder(dir.path() + "/recordings");
    auto transcriber = std::make_shared<WhisperTranscriber>(
        dir.path(), [](const WhisperConfiguration&) { return std::optional<QString>(); },
        [] { return std::optional<BundledWhisperRuntime>(); });
    std::vector<QString> removed;
    DictationServices services;
    services.defaults = &defaults;
    services.recorder = &recorder;
    services.produceSegment = defaultSegmentProducer(transcriber);
    services.removeFile = [&removed](const QString& path) {
        removed.push_back(path);
        QFile::remove(path);
    };
    WhisperModelState modelState = WhisperModelState::ready();
    services.managedModelPath = dir.path() + "/model.bin";
    services.modelState = [&modelState] { return modelState; };
    DictationController controller(std::move(services), {cli, dir.path() + "/model.bin", "de"});
    BrowserBridgeCoordinator bridge(&defaults, dir.path(), std::optional<QString>(), std::nullopt, false);
    bridge.setController(&controller);
    bridge.apply();
    ASSERT_TRUE(bridge.isListening());

    BrowserHost a;
    a.send("start", "a");
    ASSERT_EQ(a.events(1).value(0), event(BrowserBridgeEvent::recording("a")));
    ASSERT_TRUE(controller.isRecording());

    BrowserHost b; // another tab while A dictates
    b.send("start", "b");
    EXPECT_EQ(b.events(1).value(0),
              event(BrowserBridgeEvent::failed("b", BrowserBridgeFailureCode::busy, "Velmora diktiert gerade bereits.")));

    a.send("stop", "a");
    const auto frames = a.events(3);
    ASSERT_EQ(frames.size(), 3);
    EXPECT_EQ(frames[1], event(BrowserBridgeEvent::transcribing("a")));
    EXPECT_EQ(frames[2], event(BrowserBridgeEvent::completed("a", "Grüße aus dem Browser")));
    EXPECT_EQ(controller.transcript(), "Grüße aus dem Browser");
    EXPECT_EQ(removed.size(), 1u);

    // The owner going away while it records cancels its session; the recording is thrown away.
    b.send("start", "c");
    ASSERT_EQ(b.events(2).value(1), event(BrowserBridgeEvent::recording("c")));
    b.kill();
    ASSERT_TRUE(test::waitUntil([&] { return !controller.isRecording() && !controller.hasBrowserSession(); },
                                std::chrono::seconds(10)));
    EXPECT_EQ(removed.size(), 2u);
    EXPECT_EQ(controller.transcript(), "Grüße aus dem Browser") << "nothing added";

    // A cancel through the host while it records.
    BrowserHost c;
    c.send("start", "e");
    ASSERT_EQ(c.events(1).value(0), event(BrowserBridgeEvent::recording("e")));
    c.send("cancel", "e");
    ASSERT_EQ(c.events(2).value(1), event(BrowserBridgeEvent::canceled("e")));
    EXPECT_FALSE(controller.isRecording());

    // The managed model not there yet: refused with the model's own words.
    modelState = WhisperModelState::downloading(250, 1000);
    c.send("start", "f");
    EXPECT_EQ(c.events(3).value(2), event(BrowserBridgeEvent::failed(
                                        "f", BrowserBridgeFailureCode::modelUnavailable,
                                        "The speech model is downloading (25 %). Recording works once it is done.")));
    modelState = WhisperModelState::ready();

    // Live mode refuses browsers.
    (void)defaults.setString(PreferenceKeys::dictationMode, "stream");
    a.send("start", "d");
    EXPECT_EQ(a.events(4).value(3), event(BrowserBridgeEvent::failed("d", BrowserBridgeFailureCode::liveMode,
                                                                      "Velmora ist im Live-Modus. Bitte auf Standard umstellen.")));
}

TEST(DictationEndToEnd, TheRealWhisperCliOnTheTestModel)
{
    QTemporaryDir dir;
    platform::MemoryPreferencesStore defaults;
    (void)defaults.setBool(PreferenceKeys::soundEffectsEnabled, false);
    (void)defaults.setBool(PreferenceKeys::notifyOnTranscriptionComplete, false);
    (void)defaults.setBool(PreferenceKeys::autoCopyToClipboard, false);
    const auto bundle = platform::MainBundle::forExecutable(test::bundleDir() + "/bin/velmora", std::nullopt);
    const auto runtime = BundledWhisperRuntime::current(bundle);
    ASSERT_TRUE(runtime);
    QDir().mkpath(dir.path() + "/recordings");
    AudioRecorderService recorder(dir.path() + "/recordings");
    const auto shipped = [runtime] { return runtime; };
    auto transcriber = std::make_shared<WhisperTranscriber>(
        dir.path(), WhisperTranscriber::defaultVadModelPathResolver(shipped), shipped);
    int removed = 0;
    DictationServices services;
    services.defaults = &defaults;
    services.recorder = &recorder;
    services.produceSegment = defaultSegmentProducer(transcriber);
    services.removeFile = [&removed](const QString& path) { removed += QFile::remove(path); };
    DictationController controller(std::move(services), {runtime->executablePath, test::testModel(), "en"});
    controller.startRecording(DictationActivationSource::globalHotKey());
    ASSERT_TRUE(test::waitUntil([&] { return controller.isRecording(); }, std::chrono::seconds(10)));
    QTest::qWait(500);
    controller.stopRecording(DictationActivationSource::globalHotKey());
    ASSERT_TRUE(test::waitUntil([&] { return !controller.isRecording() && !controller.isTranscribing(); },
                                std::chrono::seconds(60)));
    // The test model's words mean nothing; the run must simply end well, its file gone.
    EXPECT_TRUE(controller.errorMessage().isEmpty()) << controller.errorMessage().toStdString();
    EXPECT_EQ(controller.statusMessage(), "Transcription complete");
    EXPECT_EQ(removed, 1);
    EXPECT_TRUE(test::childProcesses().isEmpty());
}
