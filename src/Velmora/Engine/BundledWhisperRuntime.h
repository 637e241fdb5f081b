#pragma once

#include "Platform/FileProbe.h"
#include "Platform/Linux/MainBundle.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora::platform {
class PreferencesStore;
}

namespace velmora {

// The whisper.cpp tools and VAD model shipped in the bundle's resources.
struct BundledWhisperRuntime {
    QString executablePath;
    std::optional<QString> streamExecutablePath;
    std::optional<QString> vadModelPath;

    bool operator==(const BundledWhisperRuntime&) const = default;

    // The first candidate resource folder with an executable WhisperRuntime/bin/whisper-cli.
    static std::optional<BundledWhisperRuntime> current(const platform::MainBundle& bundle,
                                                        const platform::FileProbe& probe = platform::FileProbe::system());
    static std::optional<BundledWhisperRuntime> current(const QString& resourcesPath,
                                                        const platform::FileProbe& probe = platform::FileProbe::system());

    // Standardized and without repeats: the bundle's resources, <bundle>/Contents/Resources,
    // and the resources beside the executable and beside argv[0].
    static QStringList candidateResourcePaths(const platform::MainBundle& bundle);
    // <root>/bin/velmora -> <root>/Resources
    static QString resourcesPath(const QString& executablePath);
    // Expands a leading tilde, makes the path absolute and resolves "." and "..".
    static QString standardizedPath(const QString& path);

    // The report of --dump-runtime.
    static QString debugDescription(const platform::MainBundle& bundle, const platform::PreferencesStore& defaults,
                                    const QString& managedModelPath,
                                    const platform::FileProbe& probe = platform::FileProbe::system());

    static inline const QString vadModelFileName = QStringLiteral("ggml-silero-v6.2.0.bin");
};

} // namespace velmora
