#pragma once

#include "Dictation/DictationRecorder.h"

#include "AudioInputDevice.h"
#include "AudioRecorderError.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include <chrono>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

namespace velmora {

// Records the microphone to "velmora-<UUID>.wav" for batch dictation. State
// on the main thread; every start and stop of a capture runs on one private
// session thread, one after another. A stop returns once the file is closed
// with its header complete, or after the finalization limit.
class AudioRecorderService final : public QObject, public DictationRecorder {
    Q_OBJECT

public:
    using Result = DictationRecorder::Result;
    using Completion = DictationRecorder::Completion;
    // Runs on the session thread: stops the capture; the file's completion is reported separately.
    using StopOperation = std::function<std::optional<AudioRecorderError>()>;
    // Runs on the session thread: starts capturing `device` (none: the default) into the file;
    // reports through `finalized` (any thread) when the file is complete.
    using CaptureStarter = std::function<std::variant<StopOperation, AudioRecorderError>(
        const std::optional<AudioInputDevice>& device, const QString& filePath,
        std::function<void(const QString& filePath)> finalized)>;

    // Without a starter, the sound server records. Without a directory (no private one exists), nothing is recorded.
    AudioRecorderService(QString directory, CaptureStarter captureStarter = {},
                         std::chrono::milliseconds finalizationTimeout = std::chrono::seconds(5), QObject* parent = nullptr);
    ~AudioRecorderService() override;

    void startRecording(const std::optional<AudioInputDevice>& device, Completion done) override;
    void stopRecording(Completion done) override;

    bool isRecording() const { return m_active.has_value(); }
    bool isStarting() const { return m_startPending; }

    static CaptureStarter soundServerCapture();

private:
    struct ActiveRecording {
        QString filePath;
        StopOperation stop;
    };

    void startFinished(const QString& filePath, std::variant<StopOperation, AudioRecorderError> outcome);
    void stopActive(Completion done);
    void waitForFinalization(const QString& filePath, std::function<void()> then);
    void recordingDidFinalize(const QString& filePath);

    QString m_directory;
    CaptureStarter m_captureStarter;
    std::chrono::milliseconds m_finalizationTimeout;
    QThreadPool m_sessionQueue;

    std::optional<ActiveRecording> m_active;
    bool m_startPending = false;
    std::vector<Completion> m_startWaiters;
    std::vector<Completion> m_stopsAfterStart;
    QSet<QString> m_finalizedFiles;
    QHash<QString, std::function<void()>> m_finalizationWaiters;
};

} // namespace velmora
