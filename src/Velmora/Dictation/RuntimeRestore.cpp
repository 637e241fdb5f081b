#include "RuntimeRestore.h"

namespace velmora {

WhisperConfiguration restoredRuntime(const WhisperConfiguration& current, const QString& managedModelPath,
                                     const std::optional<BundledWhisperRuntime>& shipped,
                                     const platform::FileProbe& probe)
{
    QString executable;
    if (shipped)
        executable = shipped->executablePath;
    else if (probe.isExecutableFile(current.executablePath))
        executable = current.executablePath;
    else
        executable = WhisperConfiguration::defaultExecutablePath(probe);
    const QString model = !current.modelPath.isEmpty() && probe.exists(current.modelPath) ? current.modelPath
                                                                                          : managedModelPath;
    return {executable, model, current.language};
}

} // namespace velmora
