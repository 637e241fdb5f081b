// What Velmora adds on top of whisper-cli, and how fast a cancel takes effect.
#include "Engine/BundledWhisperRuntime.h"
#include "Engine/WhisperTranscriber.h"

#include "Platform/Linux/MainBundle.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <algorithm>
#include <future>
#include <vector>

using namespace velmora;

namespace {

struct Setup {
    QTemporaryDir dir;
    QString cli;
    QString model = QStringLiteral(VELMORA_TEST_MODEL);
    QString wav;

    Setup()
    {
        const auto runtime = BundledWhisperRuntime::current(
            platform::MainBundle::forExecutable(QStringLiteral(VELMORA_BUNDLE_DIR "/bin/velmora"), std::nullopt));
        if (!runtime)
            qFatal("no whisper runtime in the bundle");
        cli = runtime->executablePath;
        wav = dir.filePath(QStringLiteral("speech.wav"));
        const QByteArray command = "sox -n -r 16000 -c 1 -b 16 '" + wav.toLocal8Bit() + "' synth 2 sine 300-900 vol 0.3";
        if (std::system(command.constData()) != 0)
            qFatal("sox failed");
    }
};

Setup& setup()
{
    static Setup instance;
    return instance;
}

// argv for posix_spawn, kept alive with its bytes.
struct CommandLine {
    std::vector<QByteArray> bytes;
    std::vector<char*> argv;
    CommandLine(const QString& program, const QStringList& arguments)
    {
        bytes.push_back(program.toLocal8Bit());
        for (const QString& a : arguments)
            bytes.push_back(a.toLocal8Bit());
        for (auto& b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
    }
};

void runDirectly(std::vector<char*>& argv)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
}

void DirectWhisperCli(benchmark::State& state)
{
    auto& s = setup();
    const QStringList arguments = WhisperTranscriber::arguments(
        s.wav, {s.cli, s.model, QStringLiteral("en")}, s.dir.filePath(QStringLiteral("direct")), std::nullopt,
        std::nullopt);
    CommandLine command(s.cli, arguments);
    for (auto _ : state) {
        runDirectly(command.argv);
        QFile::remove(s.dir.filePath(QStringLiteral("direct.txt")));
    }
}

// The same command both ways, alternating, so machine noise hits both alike.
void TranscribeOverDirect(benchmark::State& state)
{
    auto& s = setup();
    const WhisperConfiguration configuration{s.cli, s.model, QStringLiteral("en")};
    const QStringList arguments = WhisperTranscriber::arguments(
        s.wav, configuration, s.dir.filePath(QStringLiteral("direct")), std::nullopt, std::nullopt);
    CommandLine command(s.cli, arguments);
    WhisperTranscriber transcriber(s.dir.path(), {}, [] { return std::optional<BundledWhisperRuntime>(); });
    std::vector<double> direct, velmora;
    bool directFirst = true;
    for (auto _ : state) {
        const auto timeDirect = [&] {
            const auto begin = std::chrono::steady_clock::now();
            runDirectly(command.argv);
            direct.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
        };
        const auto timeVelmora = [&] {
            const auto begin = std::chrono::steady_clock::now();
            const auto result = transcriber.transcribe(s.wav, configuration, std::nullopt, false);
            benchmark::DoNotOptimize(result);
            velmora.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
        };
        if (directFirst) {
            timeDirect();
            timeVelmora();
        } else {
            timeVelmora();
            timeDirect();
        }
        directFirst = !directFirst;
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    state.counters["direct_ms"] = median(direct);
    state.counters["velmora_ms"] = median(velmora);
    state.counters["ratio"] = median(velmora) / median(direct);
}

void Transcribe(benchmark::State& state)
{
    auto& s = setup();
    WhisperTranscriber transcriber(s.dir.path(), {}, [] { return std::optional<BundledWhisperRuntime>(); });
    const WhisperConfiguration configuration{s.cli, s.model, QStringLiteral("en")};
    for (auto _ : state) {
        auto result = transcriber.transcribe(s.wav, configuration, std::nullopt, false);
        if (!std::holds_alternative<QString>(result))
            state.SkipWithError("transcription failed");
    }
}

// From cancelCurrentProcess() to transcribe() returning, with a tool that would run for 30 s.
void CancelToReturn(benchmark::State& state)
{
    auto& s = setup();
    const QString slow = s.dir.filePath(QStringLiteral("slow"));
    const QString started = s.dir.filePath(QStringLiteral("started"));
    QFile script(slow);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\ntouch '" + started.toLocal8Bit() + "'\nexec sleep 30\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    WhisperTranscriber transcriber(s.dir.path(), {}, [] { return std::optional<BundledWhisperRuntime>(); });
    for (auto _ : state) {
        QFile::remove(started);
        auto run = std::async(std::launch::async, [&] {
            return transcriber.transcribe(s.wav, {slow, s.model, QStringLiteral("en")}, std::nullopt, false);
        });
        while (!QFile::exists(started))
            QThread::usleep(200);
        QThread::msleep(20); // past the touch, into sleep
        const auto begin = std::chrono::steady_clock::now();
        transcriber.cancelCurrentProcess();
        run.wait();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
}

} // namespace

BENCHMARK(DirectWhisperCli)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(Transcribe)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(TranscribeOverDirect)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(CancelToReturn)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
