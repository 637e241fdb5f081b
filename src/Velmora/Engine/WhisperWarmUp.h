#pragma once

#include "WhisperConfiguration.h"

#include <QByteArray>
#include <QFuture>
#include <QMutex>
#include <QString>

#include <memory>
#include <optional>

namespace velmora {

class WhisperTranscriber;

// Transcribes one second of silence once per launch, in the background, so
// the first real dictation finds the model in the file cache.
class WhisperWarmUp {
public:
    enum class Outcome { finished, canceled, failed };

    // Without a transcriber, one of its own writes to `directory`.
    explicit WhisperWarmUp(QString directory, std::shared_ptr<WhisperTranscriber> transcriber = {});

    // Starts unless it already ran in this process or the model is missing
    // (then a later call can still start it).
    std::optional<QFuture<Outcome>> startOnce(const WhisperConfiguration& configuration);
    // Stops a running warm-up for good; it never runs again in this process.
    void cancel();

    // A 16 kHz mono 16-bit PCM WAV of silence: 44 header bytes + seconds x 32000.
    static QByteArray silentWAV(quint32 seconds);

private:
    static Outcome run(const std::shared_ptr<WhisperTranscriber>& transcriber, const QString& directory,
                       const WhisperConfiguration& configuration);

    QString m_directory;
    std::shared_ptr<WhisperTranscriber> m_transcriber;
    QMutex m_lock;
    bool m_didStart = false;
};

} // namespace velmora
