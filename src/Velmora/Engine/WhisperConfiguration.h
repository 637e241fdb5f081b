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

// The engine settings in force for a dictation.
struct WhisperConfiguration {
    QString executablePath;
    QString modelPath;
    QString language;

    bool operator==(const WhisperConfiguration&) const = default;

    // The shipped whisper-cli wins over a stored path; VELMORA_MODEL_PATH wins
    // over a stored model; nothing is cached, every call looks again.
    static WhisperConfiguration defaultConfiguration(const platform::PreferencesStore& defaults,
                                                     const QString& managedModelPath,
                                                     const platform::MainBundle& bundle,
                                                     const platform::FileProbe& probe = platform::FileProbe::system());

    // $VELMORA_CLI_PATH, /usr/local/bin/whisper-cli, /usr/bin/whisper-cli; the
    // second even when none exists, so the transcriber can name what is missing.
    static QString defaultExecutablePath(const platform::FileProbe& probe = platform::FileProbe::system());
    static std::optional<QString> resolveExecutablePath(const QStringList& candidates,
                                                        const platform::FileProbe& probe = platform::FileProbe::system());

    static inline const QString fallbackExecutablePath = QStringLiteral("/usr/local/bin/whisper-cli");
};

} // namespace velmora
