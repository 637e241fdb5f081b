#include "BundledWhisperRuntime.h"

#include "WhisperConfiguration.h"

#include "Platform/Linux/XdgPaths.h"

#include <QDir>

namespace velmora {

QString BundledWhisperRuntime::standardizedPath(const QString& path)
{
    QString expanded = path;
    if (expanded == QLatin1String("~") || expanded.startsWith(QLatin1String("~/")))
        expanded = platform::XdgPaths::home() + expanded.mid(1);
    if (expanded.isEmpty())
        return expanded;
    return QDir::cleanPath(QDir::current().absoluteFilePath(expanded));
}

QString BundledWhisperRuntime::resourcesPath(const QString& executablePath)
{
    QString path = standardizedPath(executablePath);
    for (int i = 0; i < 2; ++i) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        path = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    }
    return QDir::cleanPath(path + QStringLiteral("/Resources"));
}

QStringList BundledWhisperRuntime::candidateResourcePaths(const platform::MainBundle& bundle)
{
    QStringList collected;
    if (bundle.resourcePath)
        collected << *bundle.resourcePath;
    collected << bundle.bundlePath + QStringLiteral("/Contents/Resources");
    if (bundle.executablePath)
        collected << resourcesPath(*bundle.executablePath);
    if (bundle.argv0 && !bundle.argv0->isEmpty())
        collected << resourcesPath(*bundle.argv0);

    QStringList result;
    for (const QString& path : collected) {
        const QString standardized = standardizedPath(path);
        if (!standardized.isEmpty() && !result.contains(standardized))
            result << standardized;
    }
    return result;
}

std::optional<BundledWhisperRuntime> BundledWhisperRuntime::current(const QString& resourcesPath,
                                                                     const platform::FileProbe& probe)
{
    const QString root = resourcesPath + QStringLiteral("/WhisperRuntime");
    BundledWhisperRuntime runtime;
    runtime.executablePath = root + QStringLiteral("/bin/whisper-cli");
    if (!probe.isExecutableFile(runtime.executablePath))
        return std::nullopt;
    if (const QString stream = root + QStringLiteral("/bin/whisper-stream"); probe.isExecutableFile(stream))
        runtime.streamExecutablePath = stream;
    if (const QString vad = root + QStringLiteral("/models/") + vadModelFileName; probe.exists(vad))
        runtime.vadModelPath = vad;
    return runtime;
}

std::optional<BundledWhisperRuntime> BundledWhisperRuntime::current(const platform::MainBundle& bundle,
                                                                     const platform::FileProbe& probe)
{
    for (const QString& folder : candidateResourcePaths(bundle)) {
        if (auto runtime = current(folder, probe))
            return runtime;
    }
    return std::nullopt;
}

QString BundledWhisperRuntime::debugDescription(const platform::MainBundle& bundle,
                                                const platform::PreferencesStore& defaults,
                                                const QString& managedModelPath, const platform::FileProbe& probe)
{
    const auto orNil = [](const std::optional<QString>& value) { return value.value_or(QStringLiteral("nil")); };
    const auto runtime = current(bundle, probe);
    const QString model = WhisperConfiguration::defaultConfiguration(defaults, managedModelPath, bundle, probe).modelPath;

    QStringList lines{
        QStringLiteral("bundleURL=") + bundle.bundlePath,
        QStringLiteral("resourceURL=") + orNil(bundle.resourcePath),
        QStringLiteral("executableURL=") + orNil(bundle.executablePath),
        QStringLiteral("argv0=") + orNil(bundle.argv0),
        QStringLiteral("resolvedExecutable=") + (runtime ? runtime->executablePath : QStringLiteral("nil")),
        QStringLiteral("resolvedVADModel=") + (runtime ? orNil(runtime->vadModelPath) : QStringLiteral("nil")),
        QStringLiteral("model=") + model,
    };
    for (const QString& folder : candidateResourcePaths(bundle)) {
        const bool exists = probe.isExecutableFile(folder + QStringLiteral("/WhisperRuntime/bin/whisper-cli"));
        lines << QStringLiteral("candidate=") + folder
                     + (exists ? QStringLiteral("\n  executableExists=true") : QStringLiteral("\n  executableExists=false"));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace velmora
