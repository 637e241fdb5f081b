#include "WhisperConfiguration.h"

#include "BundledWhisperRuntime.h"
#include "Preferences/PreferenceKeys.h"

#include "Platform/PreferencesStore.h"

namespace velmora {

std::optional<QString> WhisperConfiguration::resolveExecutablePath(const QStringList& candidates,
                                                                   const platform::FileProbe& probe)
{
    for (const QString& candidate : candidates) {
        if (probe.isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

QString WhisperConfiguration::defaultExecutablePath(const platform::FileProbe& probe)
{
    QStringList candidates;
    // Set but empty still counts as a candidate; it simply fails the test.
    if (const auto fromEnvironment = probe.environment("VELMORA_CLI_PATH"))
        candidates << *fromEnvironment;
    candidates << fallbackExecutablePath << QStringLiteral("/usr/bin/whisper-cli");
    return resolveExecutablePath(candidates, probe).value_or(fallbackExecutablePath);
}

WhisperConfiguration WhisperConfiguration::defaultConfiguration(const platform::PreferencesStore& defaults,
                                                                const QString& managedModelPath,
                                                                const platform::MainBundle& bundle,
                                                                const platform::FileProbe& probe)
{
    WhisperConfiguration configuration;

    const auto storedExecutable = defaults.stringValue(PreferenceKeys::executablePath);
    if (const auto runtime = BundledWhisperRuntime::current(bundle, probe))
        configuration.executablePath = runtime->executablePath;
    else if (storedExecutable && probe.isExecutableFile(*storedExecutable))
        configuration.executablePath = *storedExecutable;
    else
        configuration.executablePath = defaultExecutablePath(probe);

    const auto modelFromEnvironment = probe.environment("VELMORA_MODEL_PATH");
    const auto storedModel = defaults.stringValue(PreferenceKeys::modelPath);
    if (modelFromEnvironment && !modelFromEnvironment->isEmpty())
        configuration.modelPath = *modelFromEnvironment;
    else if (storedModel && !storedModel->isEmpty() && probe.exists(*storedModel))
        configuration.modelPath = *storedModel;
    else
        configuration.modelPath = managedModelPath;

    configuration.language = defaults.stringValue(PreferenceKeys::language).value_or(QStringLiteral("auto"));
    return configuration;
}

} // namespace velmora
