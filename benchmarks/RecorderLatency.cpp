// From asking to record to the first captured sample, and from asking to stop
// to a closed, complete WAV file: 20 runs each through the service's back end,
// on the connection it keeps. Run inside the test rig (velmora-rig --pulse).
#include "Audio/AudioRecorderService.h"

#include "Platform/Linux/PulseAudioConnection.h"
#include "Platform/Linux/PulseRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace velmora;
using Clock = std::chrono::steady_clock;

static double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    auto made = platform::PulseAudioConnection::connect(QStringLiteral("Velmora"));
    if (!std::holds_alternative<std::shared_ptr<platform::PulseAudioConnection>>(made))
        return 1;
    auto connection = std::get<std::shared_ptr<platform::PulseAudioConnection>>(made);
    std::vector<double> firstSample, finalized;
    for (int run = 0; run < 20; ++run) {
        const QString path = dir.filePath(QStringLiteral("velmora-%1.wav").arg(run));
        const auto begin = Clock::now();
        auto started = platform::PulseRecorder::start(connection, std::nullopt, path);
        if (!std::holds_alternative<std::unique_ptr<platform::PulseRecorder>>(started))
            return 1;
        auto recorder = std::move(std::get<std::unique_ptr<platform::PulseRecorder>>(started));
        while (recorder->framesWritten() == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        firstSample.push_back(ms(Clock::now() - begin));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto stopBegin = Clock::now();
        recorder->stop();
        finalized.push_back(ms(Clock::now() - stopBegin));
    }
    const auto report = [](const char* what, std::vector<double> values) {
        std::sort(values.begin(), values.end());
        std::printf("%s: median %.1f ms, worst %.1f ms (20 runs)\n", what, values[values.size() / 2], values.back());
    };
    report("start to first captured sample", firstSample);
    report("stop to finalized file", finalized);
    return 0;
}
