// Devices, SDL2's view of them and real recordings, against the rig's PulseAudio daemon.
#include "Audio/AudioDeviceManager.h"
#include "Audio/AudioRecorderService.h"
#include "Audio/SDL2DeviceLookup.h"
#include "Preferences/PreferenceKeys.h"

#include "Platform/Linux/PulseAudioConnection.h"
#include "Platform/MemoryPreferencesStore.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <cstring>

using namespace velmora;
using namespace std::chrono_literals;
using test::waitUntil;

namespace {

bool hasDevice(const AudioDeviceManager& manager, const QString& name)
{
    const auto& devices = manager.devices();
    return std::any_of(devices.begin(), devices.end(), [&](const auto& d) { return d.name == name; });
}

QString pactl(const QStringList& arguments)
{
    const auto result = test::runProcess(QStringLiteral("pactl"), arguments);
    EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    return QString::fromUtf8(result.standardOutput).trimmed();
}

// A second microphone, plugged in and out as the test likes.
struct SecondMicrophone {
    QString sink, source;
    void plugIn()
    {
        sink = pactl({"load-module", "module-null-sink", "sink_name=second_feed", "sink_properties=device.description=SecondFeed"});
        source = pactl({"load-module", "module-remap-source", "source_name=second_mic", "master=second_feed.monitor",
                        "source_properties=device.description=SecondMic"});
    }
    void unplug()
    {
        pactl({"unload-module", source});
        pactl({"unload-module", sink});
    }
};

TEST(AudioDevices, TheListFollowsTheServerAndTheChoiceSurvivesUnplugging)
{
    platform::MemoryPreferencesStore defaults;
    AudioDeviceManager manager(defaults);
    ASSERT_TRUE(waitUntil([&] { return hasDevice(manager, "TestMic"); }, 10s));
    for (const auto& device : manager.devices())
        EXPECT_FALSE(device.uid.endsWith(".monitor")) << "monitors are no microphones";

    SecondMicrophone second;
    second.plugIn();
    ASSERT_TRUE(waitUntil([&] { return hasDevice(manager, "SecondMic"); }, 10s));
    manager.setSelectedDeviceUID(QStringLiteral("second_mic"));
    EXPECT_EQ(defaults.stringValue(PreferenceKeys::selectedAudioDeviceUID), QStringLiteral("second_mic"));
    ASSERT_TRUE(manager.activeDevice());
    EXPECT_EQ(manager.activeDevice()->name, QStringLiteral("SecondMic"));
    EXPECT_EQ(manager.activeDevice()->inputChannels, 2) << "the remap source keeps its master's two channels";

    second.unplug();
    ASSERT_TRUE(waitUntil([&] { return !hasDevice(manager, "SecondMic"); }, 10s));
    EXPECT_FALSE(manager.activeDevice());
    EXPECT_FALSE(manager.isDeviceAlive("second_mic"));
    EXPECT_EQ(manager.selectedDeviceUID(), QStringLiteral("second_mic")) << "the choice is kept";

    second.plugIn();
    EXPECT_TRUE(waitUntil([&] { return manager.activeDevice().has_value(); }, 10s)) << "active again without user action";
    second.unplug();

    manager.setSelectedDeviceUID(std::nullopt);
    EXPECT_FALSE(defaults.hasObject(PreferenceKeys::selectedAudioDeviceUID)) << "System Default removes the key";
}

// Runs one recorder call to its completion.
std::optional<AudioRecorderService::Result> run(const std::function<void(AudioRecorderService::Completion)>& call);

// Takes the rig's sound server away, and brings it back, as an upgrade or a restart would.
void soundServer(const char* what)
{
    const auto result = test::runProcess(qEnvironmentVariable("VELMORA_RIG_SOUND_SERVER"), {QString::fromLatin1(what)});
    ASSERT_EQ(result.exitCode, 0) << result.standardError.toStdString();
}

TEST(AudioDevices, ARestartedSoundServerIsFollowedAndTheChoiceComesBack)
{
    platform::MemoryPreferencesStore defaults;
    defaults.setString(PreferenceKeys::selectedAudioDeviceUID, QStringLiteral("second_mic"));
    AudioDeviceManager manager(defaults, 50ms);
    ASSERT_TRUE(waitUntil([&] { return hasDevice(manager, "TestMic"); }, 10s));
    EXPECT_FALSE(manager.activeDevice()) << "the chosen microphone is not plugged in yet";

    soundServer("stop");
    ASSERT_TRUE(waitUntil([&] { return !manager.isConnected(); }, 10s));
    EXPECT_TRUE(manager.devices().isEmpty()) << "no server, no devices";
    soundServer("start");
    ASSERT_TRUE(waitUntil([&] { return manager.isConnected() && hasDevice(manager, "TestMic"); }, 20s));

    // The new server's events are followed: plugging the chosen one in makes it active by itself.
    SecondMicrophone second;
    second.plugIn();
    EXPECT_TRUE(waitUntil([&] { return manager.activeDevice().has_value(); }, 10s));
    EXPECT_EQ(manager.selectedDeviceUID(), QStringLiteral("second_mic"));
    second.unplug();

    // The recorder makes a new connection of its own after the restart.
    QTemporaryDir dir;
    AudioRecorderService service(dir.path());
    const auto started = run([&](auto done) { service.startRecording(std::nullopt, done); });
    ASSERT_TRUE(started && std::holds_alternative<QString>(*started));
    ASSERT_TRUE(run([&](auto done) { service.stopRecording(done); }));
}

TEST(AudioDevices, AManagerDestroyedAtOnceLeavesNothingBehindWhileSourcesChange)
{
    // Under the address sanitizer, a server callback reaching a destroyed manager is a use after free.
    SecondMicrophone second;
    for (int round = 0; round < 20; ++round) {
        platform::MemoryPreferencesStore defaults;
        QProcess plug;
        plug.start(QStringLiteral("pactl"), {"load-module", "module-null-sink", QStringLiteral("sink_name=churn_%1").arg(round)});
        { AudioDeviceManager manager(defaults); }
        plug.waitForFinished(5000);
        QCoreApplication::processEvents();
        const QString module = QString::fromUtf8(plug.readAllStandardOutput()).trimmed();
        if (!module.isEmpty())
            pactl({"unload-module", module});
    }
    // A manager that lived long enough to connect goes just as cleanly.
    platform::MemoryPreferencesStore defaults;
    auto manager = std::make_unique<AudioDeviceManager>(defaults);
    ASSERT_TRUE(waitUntil([&] { return manager->isConnected(); }, 10s));
    second.plugIn();
    manager.reset();
    QCoreApplication::processEvents();
    second.unplug();
}

TEST(AudioDevices, AServerThatNeverAnswersNeitherHoldsTheConnectionNorTheManager)
{
    // Takes the connection and never says a word: the handshake would wait for ever.
    QTemporaryDir dir;
    const QString path = dir.path() + "/silent";
    QProcess silent;
    silent.start("python3", {"-c", "import socket, sys, time\n"
                                   "s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(8)\n"
                                   "print('ready', flush=True)\n"
                                   "held = []\n"
                                   "while True:\n"
                                   "    held.append(s.accept()); print('accepted', flush=True)\n",
                             path});
    ASSERT_TRUE(silent.waitForReadyRead(10000));
    const QByteArray previous = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", ("unix:" + path).toLocal8Bit());
    QElapsedTimer clock;
    clock.start();
    const auto made = platform::PulseAudioConnection::connect("Velmora");
    EXPECT_TRUE(std::holds_alternative<platform::SoundServerError>(made));
    EXPECT_LT(clock.elapsed(), platform::PulseAudioConnection::connectLimit.count() + 3000);
    {
        // The device manager's watcher is waiting on it: destroying the manager must not hang.
        platform::MemoryPreferencesStore defaults;
        AudioDeviceManager manager(defaults);
        QByteArray said;
        ASSERT_TRUE(test::waitUntil([&] { return (said += silent.readAllStandardOutput()).count("accepted") >= 2; }, 10s))
            << "the watcher is connected and waiting";
        clock.restart();
    }
    EXPECT_LT(clock.elapsed(), platform::PulseAudioConnection::connectLimit.count() + 3000);
    qputenv("PULSE_SERVER", previous);
    silent.kill();
    silent.waitForFinished();
}

TEST(AudioDevices, SDL2FindsTheMicrophoneByItsNameEitherWay)
{
    const QString sdl = test::bundleDir() + QStringLiteral("/Resources/WhisperRuntime/bin/libSDL2-2.0.so.0");
    const std::pair<QString, std::optional<int>> cases[] = {
        {"TestMic", 0}, {"testmic", 0}, {"Front TestMic (USB)", 0}, {"Test", 0}, {"No Such Device", std::nullopt},
    };
    for (const auto& [name, index] : cases)
        EXPECT_EQ(SDL2DeviceLookup::captureDeviceIndex(name, sdl), index) << name.toStdString();
    EXPECT_EQ(SDL2DeviceLookup::captureDeviceIndex("TestMic", "/nonexistent/libSDL2.so"), std::nullopt);
}

// Where a signal is loud: the first and one past the last sample above a quarter of full scale.
std::optional<std::pair<size_t, size_t>> loudRun(const std::vector<short>& samples)
{
    std::optional<std::pair<size_t, size_t>> run;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int(samples[i])) > 8192)
            run = std::pair(run ? run->first : i, i + 1);
    }
    return run;
}

// Strength of one frequency in a signal (Goertzel).
double power(const std::vector<short>& samples, double frequency, double rate)
{
    const double k = 2 * std::cos(2 * M_PI * frequency / rate);
    double s1 = 0, s2 = 0;
    for (const short sample : samples) {
        const double s0 = sample / 32768.0 + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / double(samples.size());
}

std::optional<AudioRecorderService::Result> run(const std::function<void(AudioRecorderService::Completion)>& call)
{
    std::optional<AudioRecorderService::Result> result;
    call([&](const AudioRecorderService::Result& r) { result = r; });
    waitUntil([&] { return result.has_value(); }, 10s);
    return result;
}

TEST(AudioRecording, TheRecordingHoldsWhatTheMicrophoneHeard)
{
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    ASSERT_EQ(test::runProcess("sox", {"-n", "-r", "16000", "-c", "1", "-b", "16", tone, "synth", "1.5", "sine", "1000", "vol", "0.5"}).exitCode, 0);
    AudioRecorderService service(dir.path());
    const auto started = run([&](auto done) { service.startRecording(std::nullopt, done); });
    ASSERT_TRUE(started && std::holds_alternative<QString>(*started)) << std::get<AudioRecorderError>(*started).description().toStdString();
    ASSERT_EQ(test::runProcess(QString::fromLocal8Bit(qgetenv("VELMORA_RIG_FEED_MIC")), {tone}).exitCode, 0);
    // Stop once the file holds the tone and some quiet after it, however long the machine took to get there.
    const QString recording = std::get<QString>(*started);
    ASSERT_TRUE(waitUntil([&] {
        const QByteArray data = test::readFile(recording).mid(44);
        std::vector<short> sofar(size_t(data.size() / 2));
        std::memcpy(sofar.data(), data.constData(), sofar.size() * 2);
        const auto run = loudRun(sofar);
        return run && sofar.size() - run->second > 3200;
    }, 30s)) << "the tone never arrived in the recording";
    const auto stopped = run([&](auto done) { service.stopRecording(done); });
    ASSERT_EQ(stopped, started);
    const QString path = std::get<QString>(*stopped);

    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "speech is private";
    SF_INFO format{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &format);
    ASSERT_TRUE(file) << "a complete WAV header";
    EXPECT_EQ(format.samplerate, 16000);
    EXPECT_EQ(format.channels, 1);
    EXPECT_EQ(format.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<short> samples(size_t(format.frames));
    sf_read_short(file, samples.data(), format.frames);
    sf_close(file);
    // Every sample of the tone is there: nothing dropped, nothing doubled (one 20 ms fragment of slack).
    const auto tonePart = loudRun(samples);
    ASSERT_TRUE(tonePart);
    EXPECT_NEAR(double(tonePart->second - tonePart->first) / 16000, 1.5, 0.02) << "length of the tone in the recording";
    const double atTone = power(samples, 1000, 16000);
    EXPECT_GT(atTone, 100 * power(samples, 1700, 16000)) << "a spectral peak at the fed tone";
    EXPECT_GT(atTone, 100 * power(samples, 400, 16000));
}

TEST(AudioRecording, AnUnpluggedDeviceAndARefusingServerAreReportedAsSuch)
{
    QTemporaryDir dir;
    AudioRecorderService service(dir.path());
    const AudioInputDevice gone{7, "unplugged_mic", "USB Headset", false, 1};
    EXPECT_EQ(run([&](auto done) { service.startRecording(gone, done); }),
              AudioRecorderService::Result(AudioRecorderError::deviceUnavailable("USB Headset")));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty()) << "no file is left for a failed start";

    // No server at all is not a refused permission.
    const QByteArray saved = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", ("unix:" + dir.path() + "/no-server").toLocal8Bit());
    AudioRecorderService noServer(dir.path());
    const auto result = run([&](auto done) { noServer.startRecording(std::nullopt, done); });
    EXPECT_EQ(result, AudioRecorderService::Result(AudioRecorderError::noSoundServer()));
    EXPECT_EQ(AudioRecorderError::noSoundServer().description(),
              QStringLiteral("No sound server is running. Start PipeWire or PulseAudio, then try again."));
    qputenv("PULSE_SERVER", saved);
}

TEST(AudioRecording, EachSoundServerFailureHasItsOwnMeaning)
{
    using platform::SoundServerError;
    const QString headset = QStringLiteral("USB Headset");
    const struct {
        SoundServerError error;
        std::optional<QString> device;
        AudioRecorderError expected;
    } cases[] = {
        {SoundServerError::noServer, headset, AudioRecorderError::noSoundServer()},
        {SoundServerError::accessDenied, std::nullopt, AudioRecorderError::permissionDenied()},
        {SoundServerError::noSuchSource, headset, AudioRecorderError::deviceUnavailable(headset)},
        {SoundServerError::noSuchSource, std::nullopt, AudioRecorderError::failedToStart()},
        {SoundServerError::fileFailed, headset, AudioRecorderError::recorderSetupFailed()},
        {SoundServerError::failed, headset, AudioRecorderError::failedToStart()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AudioRecorderError::fromSoundServer(c.error, c.device), c.expected) << int(c.error);
    // Not reaching the server: only its absence and a refusal say more than that the recorder could not be set up.
    const std::pair<SoundServerError, AudioRecorderError> connecting[] = {
        {SoundServerError::noServer, AudioRecorderError::noSoundServer()},
        {SoundServerError::accessDenied, AudioRecorderError::permissionDenied()},
        {SoundServerError::noSuchSource, AudioRecorderError::recorderSetupFailed()},
        {SoundServerError::failed, AudioRecorderError::recorderSetupFailed()},
    };
    for (const auto& [error, expected] : connecting)
        EXPECT_EQ(AudioRecorderError::fromSoundServerConnection(error), expected) << int(error);
    EXPECT_EQ(AudioRecorderError::permissionDenied().description(),
              QStringLiteral("Microphone access was refused by the sound server. Check your desktop's privacy settings "
                             "for the microphone."));
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

TEST(AudioRecording, AHundredCyclesLeaveNoThreadOrDescriptorBehind)
{
    QTemporaryDir dir;
    auto service = std::make_unique<AudioRecorderService>(dir.path());
    // The first cycle makes the lasting connection; count from after it.
    ASSERT_TRUE(std::holds_alternative<QString>(*run([&](auto done) { service->startRecording(std::nullopt, done); })));
    ASSERT_TRUE(std::holds_alternative<QString>(*run([&](auto done) { service->stopRecording(done); })));
    const int threads = threadCount();
    const int descriptors = test::openDescriptorCount();
    for (int i = 0; i < 100; ++i) {
        const auto started = run([&](auto done) { service->startRecording(std::nullopt, done); });
        ASSERT_TRUE(started && std::holds_alternative<QString>(*started));
        ASSERT_EQ(run([&](auto done) { service->stopRecording(done); }), started);
        QFile::remove(std::get<QString>(*started));
    }
    EXPECT_EQ(threadCount(), threads);
    EXPECT_EQ(test::openDescriptorCount(), descriptors);
}

} // namespace
