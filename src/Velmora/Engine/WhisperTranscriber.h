#pragma once

#include "BundledWhisperRuntime.h"
#include "RunCancellation.h"
#include "WhisperConfiguration.h"
#include "WhisperTranscriberError.h"

#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace velmora::platform {
class ChildProcess;
}

namespace velmora {

// Turns one recorded WAV file into text with one run of whisper-cli. Blocking:
// call transcribe() off the main thread. invalidate() and
// cancelCurrentProcess() are safe from any thread during a run.
class WhisperTranscriber {
public:
    using Result = std::variant<QString, WhisperTranscriberError>;
    using VadModelPathResolver = std::function<std::optional<QString>(const WhisperConfiguration&)>;
    using RuntimeLookup = std::function<std::optional<BundledWhisperRuntime>()>;

    // The shipped runtime of the running executable.
    static std::optional<BundledWhisperRuntime> currentRuntime();
    // The shipped VAD model, only when the configuration runs the shipped whisper-cli.
    static VadModelPathResolver defaultVadModelPathResolver(RuntimeLookup runtime = currentRuntime);

    explicit WhisperTranscriber(QString outputDirectory, VadModelPathResolver vadModelPathResolver = {},
                                RuntimeLookup runtime = currentRuntime,
                                platform::FileProbe probe = platform::FileProbe::system());
    ~WhisperTranscriber();

    [[nodiscard]] Result transcribe(const QString& audioFilePath, const WhisperConfiguration& configuration,
                      const std::optional<QString>& prompt, bool useVAD,
                      const std::shared_ptr<RunCancellation>& cancellation = {});

    // Runs the tool at the background priority (the warm-up); dictations keep normal priority.
    void setRunsInBackground(bool background) { m_background = background; }

    // Refuses every later run and stops the one in progress. There is no way back.
    void invalidate();
    // Stops the run in progress; later runs still work.
    void cancelCurrentProcess();
    bool isInvalidated() const;

    // Leftovers of earlier runs: velmora-output-*.txt and velmora-*.wav.
    static void removeStaleTemporaryFiles(const QString& folder);

    // The command line after the program name, in the order whisper-cli gets it.
    static QStringList arguments(const QString& audioFilePath, const WhisperConfiguration& configuration,
                                 const QString& outputBase, const std::optional<QString>& prompt,
                                 const std::optional<QString>& vadModelPath);
    static const QStringList vadArguments;

private:
    QString m_outputDirectory;
    bool m_background = false;
    VadModelPathResolver m_vadModelPathResolver;
    RuntimeLookup m_runtime;
    platform::FileProbe m_probe;

    mutable QMutex m_processLock;
    std::shared_ptr<platform::ChildProcess> m_currentProcess;
    bool m_isInvalidated = false;
};

} // namespace velmora
