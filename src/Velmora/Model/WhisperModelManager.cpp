#include "WhisperModelManager.h"

#include "Platform/Linux/BackgroundThread.h"

#include <QFile>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <cstdlib>

namespace velmora {

WhisperModelManager::Delays WhisperModelManager::defaultRetryDelays()
{
    using namespace std::chrono_literals;
    return {5s, 30s, 120s};
}

WhisperModelManager::WhisperModelManager(std::shared_ptr<WhisperModelInstaller> installer, Delays retryDelays,
                                         QObject* parent)
    : QObject(parent)
    , m_installer(std::move(installer))
    , m_retryDelays(std::move(retryDelays))
{
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
}

WhisperModelManager::~WhisperModelManager()
{
    if (m_cancellation)
        m_cancellation->cancel();
    m_worker.waitForFinished();
}

void WhisperModelManager::setState(const WhisperModelState& state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

void WhisperModelManager::endTask(const WhisperModelState& state)
{
    m_taskActive = false;
    m_cancellation.reset();
    m_retryTimer->stop();
    setState(state);
}

void WhisperModelManager::prepare(bool autoDownload)
{
    if (m_taskActive)
        return;
    // Trusted without hashing while the file looks exactly as when it was verified.
    const auto current = m_installer->currentMarker();
    if (current && m_installer->storedMarker() == current) {
        setState(WhisperModelState::ready());
        return;
    }
    if (!QFile::exists(m_installer->modelPath())) {
        if (autoDownload)
            download();
        else
            setState(WhisperModelState::missing());
        return;
    }
    setState(WhisperModelState::verifying());
    m_taskActive = true;
    m_cancellation = std::make_shared<DownloadCancellation>();
    // Hashing a large file must not slow down what the user is doing meanwhile.
    m_worker = platform::BackgroundThread::run<void>([this, installer = m_installer, autoDownload] {
        const auto result = installer->verifyInstalledModel();
        const bool trusted = std::holds_alternative<bool>(result) && std::get<bool>(result);
        QMetaObject::invokeMethod(this, [this, trusted, autoDownload] {
            m_taskActive = false;
            m_cancellation.reset();
            if (trusted)
                setState(WhisperModelState::ready());
            else if (autoDownload)
                download();
            else
                setState(WhisperModelState::missing());
        }, Qt::QueuedConnection);
    });
}

void WhisperModelManager::download()
{
    if (m_taskActive)
        return;
    m_taskActive = true;
    m_attempts = 0;
    m_cancellation = std::make_shared<DownloadCancellation>();
    m_lastPublishedBytes = m_installer->partialByteCount().value_or(0);
    setState(WhisperModelState::downloading(m_lastPublishedBytes, m_installer->model().byteCount));
    runAttempt(0);
}

void WhisperModelManager::runAttempt(int attempt)
{
    ++m_attempts;
    auto cancellation = m_cancellation;
    m_worker = QtConcurrent::run([this, installer = m_installer, cancellation, attempt] {
        const auto error = installer->install(
            [this](qint64 bytes) {
                QMetaObject::invokeMethod(this, [this, bytes] { publishProgress(bytes); }, Qt::QueuedConnection);
            },
            *cancellation);
        QMetaObject::invokeMethod(this, [this, attempt, error] { attemptFinished(attempt, error); },
                                  Qt::QueuedConnection);
    });
}

void WhisperModelManager::attemptFinished(int attempt, std::optional<WhisperModelDownloadError> error)
{
    const bool cancelled = !m_cancellation || m_cancellation->isCancelled();
    if (!error) {
        endTask(WhisperModelState::ready());
        return;
    }
    if (cancelled || error->kind() == WhisperModelDownloadError::Kind::cancelled) {
        endTask(WhisperModelState::missing());
        return;
    }
    if (error->isRetryable() && size_t(attempt) < m_retryDelays.size()) {
        // The partial file stays, so the next attempt resumes.
        m_retryTimer->disconnect();
        connect(m_retryTimer, &QTimer::timeout, this, [this, attempt] {
            if (!m_cancellation || m_cancellation->isCancelled())
                endTask(WhisperModelState::missing());
            else
                runAttempt(attempt + 1);
        });
        m_retryTimer->start(m_retryDelays[size_t(attempt)]);
        return;
    }
    endTask(WhisperModelState::failed(error->description()));
}

void WhisperModelManager::publishProgress(qint64 bytes)
{
    // Late reports after a cancel or a failure change nothing.
    if (!m_taskActive || m_state.kind != WhisperModelState::Kind::downloading)
        return;
    const qint64 total = m_installer->model().byteCount;
    if (bytes >= total) {
        setState(WhisperModelState::verifying());
        return;
    }
    if (std::llabs(bytes - m_lastPublishedBytes) >= total / 200) {
        m_lastPublishedBytes = bytes;
        setState(WhisperModelState::downloading(bytes, total));
    }
}

bool WhisperModelManager::isWaitingToRetry() const
{
    return m_retryTimer->isActive();
}

void WhisperModelManager::cancel()
{
    if (!m_taskActive)
        return;
    if (m_cancellation)
        m_cancellation->cancel();
    // Waiting between attempts: nothing is running to report the cancel, so end here.
    if (m_retryTimer->isActive())
        endTask(WhisperModelState::missing());
}

} // namespace velmora
