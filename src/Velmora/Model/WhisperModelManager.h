#pragma once

#include "DownloadCancellation.h"
#include "WhisperModelInstaller.h"
#include "WhisperModelState.h"

#include <QFuture>
#include <QObject>

#include <chrono>
#include <memory>
#include <vector>

class QTimer;

namespace velmora {

// Owns the managed model's lifecycle and publishes one state. Main thread
// only; hashing and downloading run on worker threads and report back through
// queued calls.
class WhisperModelManager final : public QObject {
    Q_OBJECT

public:
    using Delays = std::vector<std::chrono::milliseconds>;
    static Delays defaultRetryDelays();

    WhisperModelManager(std::shared_ptr<WhisperModelInstaller> installer, Delays retryDelays = defaultRetryDelays(),
                        QObject* parent = nullptr);
    // Stops a running task and waits for its worker.
    ~WhisperModelManager() override;

    const WhisperModelState& state() const { return m_state; }
    bool hasTask() const { return m_taskActive; }
    int attempts() const { return m_attempts; }
    // Between a failed attempt and the next one.
    bool isWaitingToRetry() const;

    void prepare(bool autoDownload);
    void download();
    void cancel();

signals:
    void stateChanged();

private:
    void setState(const WhisperModelState& state);
    void runAttempt(int attempt);
    void attemptFinished(int attempt, std::optional<WhisperModelDownloadError> error);
    void publishProgress(qint64 bytes);
    void endTask(const WhisperModelState& state);

    std::shared_ptr<WhisperModelInstaller> m_installer;
    Delays m_retryDelays;
    WhisperModelState m_state = WhisperModelState::checking();
    bool m_taskActive = false;
    std::shared_ptr<DownloadCancellation> m_cancellation;
    QFuture<void> m_worker;
    QTimer* m_retryTimer = nullptr;
    qint64 m_lastPublishedBytes = 0;
    int m_attempts = 0;
};

} // namespace velmora
