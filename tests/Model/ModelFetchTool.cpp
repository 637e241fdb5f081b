// Installs a model the way the application does, as its own process:
//   ModelFetchTool install URL FOLDER FILENAME SHA256 SIZE
//   ModelFetchTool hash FILE
// Prints the outcome and the process's peak memory (kB).
#include "Model/HttpWhisperModelTransport.h"
#include "Model/WhisperModelInstaller.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

using namespace velmora;

static long peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("hash")) {
        QElapsedTimer clock;
        clock.start();
        const auto hash = WhisperModelInstaller::sha256(args[2]);
        if (!std::holds_alternative<QString>(hash))
            return 1;
        std::printf("%s %lld ms\n", qPrintable(std::get<QString>(hash)), static_cast<long long>(clock.elapsed()));
        return 0;
    }
    if (args.size() != 7 || args[1] != QLatin1String("install")) {
        std::fprintf(stderr, "usage: ModelFetchTool install URL FOLDER FILENAME SHA256 SIZE | hash FILE\n");
        return 2;
    }
    const PinnedWhisperModel model{args[4], QUrl(args[2]), args[5], args[6].toLongLong()};
    WhisperModelInstaller installer(model, args[3], std::make_shared<HttpWhisperModelTransport>());
    DownloadCancellation cancellation;
    const auto error = installer.install({}, cancellation);
    std::printf("%s peak %ld kB\n", error ? qPrintable(error->description()) : "installed", peakKilobytes());
    return error ? 1 : 0;
}
