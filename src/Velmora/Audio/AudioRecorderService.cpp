#include "AudioRecorderService.h"

#include "Platform/Linux/PulseAudioConnection.h"
#include "Platform/Linux/PulseRecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QTimer>
#include <QUuid>


namespace velmora {

AudioRecorderService::AudioRecorderService(QString directory, CaptureStarter captureStarter,
                                           std::chrono::milliseconds finalizationTimeout, QObject* parent)
    : QObject(parent)
    , m_directory(std::move(directory))
    , m_captureStarter(captureStarter ? std::move(captureStarter) : soundServerCapture())
    , m_finalizationTimeout(finalizationTimeout)
{
    m_sessionQueue.setMaxThreadCount(1);
    m_sessionQueue.setExpiryTimeout(-1);
}

AudioRecorderService::~AudioRecorderService()
{
    // A recording still running is stopped so its file is closed properly.
    if (m_active) {
        auto stop = m_active->stop;
        m_sessionQueue.start([stop] { stop(); });
    }
    m_sessionQueue.waitForDone();
}

AudioRecorderService::CaptureStarter AudioRecorderService::soundServerCapture()
{
    // One connection for the whole run, made at the first start and kept: later starts capture at once.
    auto connection = std::make_shared<std::shared_ptr<platform::PulseAudioConnection>>();
    return [connection](const std::optional<AudioInputDevice>& device, const QString& filePath,
                        std::function<void(const QString&)> finalized) -> std::variant<StopOperation, AudioRecorderError> {
        const auto deviceName = device ? std::optional(device->name) : std::nullopt;
        if (!*connection || !(*connection)->isReady()) {
            // A server that restarted since the last recording gets a new connection here.
            auto made = platform::PulseAudioConnection::connect(QStringLiteral("Velmora"));
            if (const auto* error = std::get_if<platform::SoundServerError>(&made))
                return AudioRecorderError::fromSoundServerConnection(*error);
            *connection = std::get<std::shared_ptr<platform::PulseAudioConnection>>(made);
        }
        auto started = platform::PulseRecorder::start(*connection, device ? std::optional(device->uid) : std::nullopt, filePath);
        if (const auto* error = std::get_if<platform::SoundServerError>(&started))
            return AudioRecorderError::fromSoundServer(*error, deviceName);
        std::shared_ptr<platform::PulseRecorder> recorder = std::move(std::get<std::unique_ptr<platform::PulseRecorder>>(started));
        return StopOperation([recorder, filePath, finalized]() -> std::optional<AudioRecorderError> {
            recorder->stop();
            finalized(filePath);
            return std::nullopt;
        });
    };
}

void AudioRecorderService::startRecording(const std::optional<AudioInputDevice>& device, Completion done)
{
    if (m_active) {
        done(m_active->filePath);
        return;
    }
    if (m_directory.isEmpty()) {
        done(AudioRecorderError::noPrivateFolder());
        return;
    }
    m_startWaiters.push_back(std::move(done));
    if (m_startPending)
        return;
    m_startPending = true;
    const QString filePath = QDir(m_directory).filePath(
        QStringLiteral("velmora-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".wav"));
    auto starter = m_captureStarter;
    m_sessionQueue.start([this, starter, device, filePath] {
        auto finalized = [this](const QString& path) {
            QMetaObject::invokeMethod(this, [this, path] { recordingDidFinalize(path); }, Qt::QueuedConnection);
        };
        auto outcome = starter(device, filePath, finalized);
        QMetaObject::invokeMethod(this, [this, filePath, outcome] { startFinished(filePath, outcome); },
                                  Qt::QueuedConnection);
    });
}

void AudioRecorderService::startFinished(const QString& filePath, std::variant<StopOperation, AudioRecorderError> outcome)
{
    m_startPending = false;
    Result result = filePath;
    if (auto* stop = std::get_if<StopOperation>(&outcome))
        m_active = ActiveRecording{filePath, *stop};
    else
        result = std::get<AudioRecorderError>(outcome);
    auto waiters = std::exchange(m_startWaiters, {});
    for (auto& waiter : waiters)
        waiter(result);
    // A stop that came while the start was pending stops what the start produced.
    auto stops = std::exchange(m_stopsAfterStart, {});
    for (auto& stop : stops)
        stopActive(std::move(stop));
}

void AudioRecorderService::stopRecording(Completion done)
{
    if (m_startPending) {
        m_stopsAfterStart.push_back(std::move(done));
        return;
    }
    stopActive(std::move(done));
}

void AudioRecorderService::stopActive(Completion done)
{
    if (!m_active) {
        done(AudioRecorderError::noActiveRecording());
        return;
    }
    // Not active any more, whatever the stop brings.
    const ActiveRecording recording = *std::exchange(m_active, std::nullopt);
    m_sessionQueue.start([this, recording, done] {
        const auto error = recording.stop();
        QMetaObject::invokeMethod(this, [this, recording, done, error] {
            if (error) {
                done(*error);
                return;
            }
            waitForFinalization(recording.filePath, [done, path = recording.filePath] { done(path); });
        }, Qt::QueuedConnection);
    });
}

void AudioRecorderService::waitForFinalization(const QString& filePath, std::function<void()> then)
{
    const QString name = QFileInfo(filePath).fileName();
    if (m_finalizedFiles.remove(name)) {
        then();
        return;
    }
    m_finalizationWaiters.insert(name, std::move(then));
    QTimer::singleShot(m_finalizationTimeout, this, [this, name] {
        // The limit passed first: go on with what the file holds.
        if (auto waiter = m_finalizationWaiters.take(name))
            waiter();
    });
}

void AudioRecorderService::recordingDidFinalize(const QString& filePath)
{
    const QString name = QFileInfo(filePath).fileName();
    if (auto waiter = m_finalizationWaiters.take(name)) {
        waiter();
        return;
    }
    m_finalizedFiles.insert(name);
}

} // namespace velmora
