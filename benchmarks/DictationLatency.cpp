// The dictation controller's own cost, with the real recorder (the rig's TestMic),
// the bundle's whisper-cli, the test model and the start sound:
//   start command -> recording confirmed (capture running), with the sound's hand-off
//   stop command -> text in the transcript, against whisper-cli alone on the same WAV
// 10 rounds. Run inside the test rig: velmora-rig --pulse -- DictationLatency <bundle> <model>
#include "Audio/AudioRecorderService.h"
#include "Audio/SoundEffectService.h"
#include "Dictation/DictationController.h"
#include "Dictation/SegmentProducer.h"
#include "Engine/BundledWhisperRuntime.h"
#include "Engine/WhisperTranscriber.h"
#include "Platform/Linux/MainBundle.h"
#include "Platform/MemoryPreferencesStore.h"
#include "Preferences/PreferenceKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace velmora;
using Clock = std::chrono::steady_clock;

static double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Waits in the event loop without spinning: a busy loop would take a core from
// whisper-cli and measure itself.
static bool spinUntil(const std::function<bool()>& done, int limitMs = 30000)
{
    QEventLoop loop;
    QTimer check;
    QElapsedTimer timer;
    timer.start();
    bool reached = done();
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        reached = done();
        if (reached || timer.elapsed() > limitMs)
            loop.quit();
    });
    if (!reached) {
        check.start(1);
        loop.exec();
    }
    return reached;
}

static void report(const char* what, std::vector<double> values)
{
    if (values.empty())
        return;
    std::sort(values.begin(), values.end());
    std::printf("%s: median %.1f ms, worst %.1f ms (%zu runs)\n", what, values[values.size() / 2], values.back(),
                values.size());
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: DictationLatency <bundle folder> <model>\n");
        return 64;
    }
    const auto bundle = platform::MainBundle::forExecutable(QString::fromLocal8Bit(argv[1]) + "/bin/velmora", std::nullopt);
    const auto runtime = BundledWhisperRuntime::current(bundle);
    if (!runtime)
        return 1;
    const QString model = QString::fromLocal8Bit(argv[2]);
    QTemporaryDir dir;
    platform::MemoryPreferencesStore defaults;
    (void)defaults.setBool(PreferenceKeys::notifyOnTranscriptionComplete, false);
    (void)defaults.setBool(PreferenceKeys::autoClearTranscript, false);
    (void)defaults.setBool(PreferenceKeys::autoCopyToClipboard, false);
    AudioRecorderService recorder(dir.path());
    SoundEffectService sounds(QString::fromLocal8Bit(argv[1]) + "/Resources/sounds", defaults);
    const auto shipped = [runtime] { return runtime; };
    auto transcriber = std::make_shared<WhisperTranscriber>(
        dir.path(), WhisperTranscriber::defaultVadModelPathResolver(shipped), shipped);
    QString kept;
    std::vector<double> soundHandOff;
    DictationServices services;
    services.defaults = &defaults;
    services.recorder = &recorder;
    std::vector<double> producing;
    const auto produce = defaultSegmentProducer(transcriber);
    services.produceSegment = [&producing, produce](const QString& file, const WhisperConfiguration& c,
                                                    const QList<VocabularyEntry>& v,
                                                    const std::shared_ptr<RunCancellation>& cancellation) {
        const auto begin = Clock::now();
        auto result = produce(file, c, v, cancellation);
        producing.push_back(ms(Clock::now() - begin));
        return result;
    };
    services.playSound = [&](DictationSound sound) {
        const auto begin = Clock::now();
        sound == DictationSound::start ? sounds.playStartSound() : sounds.playStopSound();
        if (sound == DictationSound::start)
            soundHandOff.push_back(ms(Clock::now() - begin));
    };
    services.removeFile = [&](const QString& path) {
        QFile::remove(kept);
        QFile::copy(path, kept);
        QFile::remove(path);
    };
    const WhisperConfiguration configuration{runtime->executablePath, model, "en"};
    DictationController controller(std::move(services), configuration);

    std::vector<double> startToRecording, stopToText, bareTool;
    for (int round = 0; round < 10; ++round) {
        kept = dir.filePath(QStringLiteral("kept-%1.wav").arg(round));
        const auto startAt = Clock::now();
        controller.startRecording(DictationActivationSource::globalHotKey());
        if (!spinUntil([&] { return controller.isRecording(); }))
            return 2;
        startToRecording.push_back(ms(Clock::now() - startAt));
        QElapsedTimer speak;
        speak.start();
        spinUntil([&] { return speak.elapsed() > 1000; });
        const auto stopAt = Clock::now();
        controller.stopRecording(DictationActivationSource::globalHotKey());
        if (!spinUntil([&] { return !controller.isRecording() && !controller.isTranscribing(); }))
            return 3;
        stopToText.push_back(ms(Clock::now() - stopAt));

        // The tool alone, with the very arguments the transcriber gives it.
        spinUntil([&] { return QFile::exists(kept); }, 5000);
        const QString output = dir.filePath(QStringLiteral("bare-%1").arg(round));
        const QStringList arguments = WhisperTranscriber::arguments(kept, configuration, output, std::nullopt,
                                                                        runtime->vadModelPath);
        QProcess bare;
        const auto bareAt = Clock::now();
        bare.start(runtime->executablePath, arguments);
        bare.waitForFinished(60000);
        bareTool.push_back(ms(Clock::now() - bareAt));
        controller.clearTranscript();
    }
    report("start command -> recording", startToRecording);
    report("start sound hand-off", soundHandOff);
    report("stop command -> text in the transcript", stopToText);
    report("the segment producer (transcriber and corrections)", producing);
    report("whisper-cli alone on the same WAV", bareTool);
    std::vector<double> overhead;
    for (size_t i = 0; i < stopToText.size(); ++i)
        overhead.push_back(stopToText[i] - bareTool[i]);
    report("controller overhead (stop -> text minus whisper-cli)", overhead);
    std::vector<double> ownShare;
    for (size_t i = 0; i < stopToText.size() && i < producing.size(); ++i)
        ownShare.push_back(stopToText[i] - producing[i]);
    report("the controller's own steps (stop -> text minus the segment producer)", ownShare);
    return 0;
}
