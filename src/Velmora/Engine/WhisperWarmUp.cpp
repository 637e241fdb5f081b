#include "WhisperWarmUp.h"

#include "WhisperTranscriber.h"

#include "Platform/Linux/BackgroundThread.h"
#include "Platform/LogCategories.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QUuid>
#include <QtEndian>

namespace velmora {

WhisperWarmUp::WhisperWarmUp(QString directory, std::shared_ptr<WhisperTranscriber> transcriber)
    : m_directory(std::move(directory))
    , m_transcriber(transcriber ? std::move(transcriber) : std::make_shared<WhisperTranscriber>(m_directory))
{
}

QByteArray WhisperWarmUp::silentWAV(quint32 seconds)
{
    const quint32 dataSize = seconds * 32000;
    QByteArray wav(44 + qsizetype(dataSize), '\0');
    char* p = wav.data();
    const auto put32 = [&](int offset, quint32 value) { qToLittleEndian(value, p + offset); };
    const auto put16 = [&](int offset, quint16 value) { qToLittleEndian(value, p + offset); };
    std::memcpy(p, "RIFF", 4);
    put32(4, 36 + dataSize);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, 16000);
    put32(28, 32000);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(p + 36, "data", 4);
    put32(40, dataSize);
    return wav;
}

std::optional<QFuture<WhisperWarmUp::Outcome>> WhisperWarmUp::startOnce(const WhisperConfiguration& configuration)
{
    if (!QFile::exists(configuration.modelPath)) {
        qCInfo(velmora::logging::warmUp) << "skipped: model file missing";
        return std::nullopt;
    }
    {
        QMutexLocker lock(&m_lock);
        if (std::exchange(m_didStart, true))
            return std::nullopt;
    }
    m_transcriber->setRunsInBackground(true);
    return platform::BackgroundThread::run<Outcome>([transcriber = m_transcriber, directory = m_directory, configuration] {
        return run(transcriber, directory, configuration);
    });
}

void WhisperWarmUp::cancel()
{
    m_transcriber->invalidate();
}

WhisperWarmUp::Outcome WhisperWarmUp::run(const std::shared_ptr<WhisperTranscriber>& transcriber,
                                          const QString& directory, const WhisperConfiguration& configuration)
{
    QElapsedTimer clock;
    clock.start();
    const QString path = QDir(directory).filePath(QStringLiteral("velmora-warmup-")
                                                  + QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".wav"));
    Outcome outcome = Outcome::failed;
    QString failure;
    QFile file(path);
    if (directory.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(silentWAV(1)) < 0 || !file.flush()) {
        failure = file.errorString();
        file.close();
    } else {
        file.close();
        const auto result = transcriber->transcribe(path, configuration, std::nullopt, false);
        if (std::holds_alternative<QString>(result)) {
            outcome = Outcome::finished;
        } else {
            const auto& error = std::get<WhisperTranscriberError>(result);
            if (error.kind() == WhisperTranscriberError::Kind::cancelled)
                outcome = Outcome::canceled;
            else
                failure = error.description();
        }
    }
    const qint64 elapsed = clock.elapsed();
    switch (outcome) {
    case Outcome::finished:
        qCInfo(velmora::logging::warmUp, "finished in %lld ms", static_cast<long long>(elapsed));
        break;
    case Outcome::canceled:
        qCInfo(velmora::logging::warmUp, "canceled after %lld ms", static_cast<long long>(elapsed));
        break;
    case Outcome::failed:
        qCInfo(velmora::logging::warmUp, "failed after %lld ms: %s", static_cast<long long>(elapsed), qUtf8Printable(failure));
        break;
    }
    QFile::remove(path);
    return outcome;
}

} // namespace velmora
