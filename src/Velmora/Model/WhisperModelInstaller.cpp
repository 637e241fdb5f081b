#include "WhisperModelInstaller.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <openssl/evp.h>

#include "Platform/Linux/FileSystem.h"

#include <memory>

namespace velmora {

WhisperModelInstaller::WhisperModelInstaller(PinnedWhisperModel model, QString directory,
                                             std::shared_ptr<WhisperModelTransport> transport,
                                             CapacityProbe availableCapacity)
    : m_model(std::move(model))
    , m_directory(std::move(directory))
    , m_transport(std::move(transport))
    , m_availableCapacity(std::move(availableCapacity))
{
}

QString WhisperModelInstaller::modelPath() const
{
    return m_directory + QLatin1Char('/') + m_model.fileName;
}

QString WhisperModelInstaller::partialPath() const
{
    return modelPath() + QStringLiteral(".partial");
}

QString WhisperModelInstaller::markerPath() const
{
    return modelPath() + QStringLiteral(".verified");
}

std::optional<qint64> WhisperModelInstaller::fileSize(const QString& path)
{
    const auto status = platform::FileSystem::status(path);
    return status ? std::optional(status->size) : std::nullopt;
}

std::optional<qint64> WhisperModelInstaller::freeSpace(const QString& folder)
{
    return platform::FileSystem::freeSpace(folder);
}

std::optional<qint64> WhisperModelInstaller::partialByteCount() const
{
    return fileSize(partialPath());
}

std::variant<QString, WhisperModelDownloadError> WhisperModelInstaller::sha256(const QString& path)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    const auto failed = platform::FileSystem::readSequentially(path, 8 * 1024 * 1024, [&](const char* data, size_t size) {
        EVP_DigestUpdate(context.get(), data, size);
    });
    if (failed)
        return WhisperModelDownloadError::fileSystem(path + QStringLiteral(": ") + failed->description());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
}

std::optional<VerificationMarker> WhisperModelInstaller::currentMarker() const
{
    const auto status = platform::FileSystem::status(modelPath());
    if (!status || status->size != m_model.byteCount)
        return std::nullopt;
    return VerificationMarker{m_model.sha256, status->size, status->modified};
}

std::optional<VerificationMarker> WhisperModelInstaller::storedMarker() const
{
    QFile file(markerPath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return VerificationMarker::fromJson(file.read(4096));
}

std::optional<WhisperModelDownloadError> WhisperModelInstaller::writeMarker() const
{
    const auto marker = currentMarker();
    if (!marker)
        return std::nullopt;
    QSaveFile file(markerPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(marker->toJson()) < 0 || !file.commit())
        return WhisperModelDownloadError::fileSystem(markerPath() + QStringLiteral(": ") + file.errorString());
    return std::nullopt;
}

std::optional<WhisperModelDownloadError> WhisperModelInstaller::checkSpace(qint64 needed) const
{
    const auto available = m_availableCapacity ? m_availableCapacity(m_directory) : std::nullopt;
    if (available && *available < needed)
        return WhisperModelDownloadError::insufficientDiskSpace(needed, *available);
    return std::nullopt;
}

std::optional<WhisperModelDownloadError> WhisperModelInstaller::install(const WhisperModelTransport::Progress& progress,
                                                                        DownloadCancellation& cancellation) const
{
    if (!QDir().mkpath(m_directory))
        return WhisperModelDownloadError::fileSystem(m_directory + QStringLiteral(": the folder cannot be created"));

    qint64 start = partialByteCount().value_or(0);
    if (start > m_model.byteCount) {
        QFile::remove(partialPath());
        start = 0;
    }
    if (start < m_model.byteCount) {
        if (auto error = checkSpace(m_model.byteCount - start))
            return error;
        if (progress)
            progress(start);
        auto error = m_transport->fetch(m_model.url, start, m_model.byteCount, partialPath(), progress, cancellation);
        const bool cannotResume = error && (error->kind() == WhisperModelDownloadError::Kind::unexpectedContentRange
                                            || error->kind() == WhisperModelDownloadError::Kind::rangeNotSatisfiable);
        if (cannotResume && start > 0) {
            // The server will not continue this file: start it over, once.
            QFile::remove(partialPath());
            if (auto spaceError = checkSpace(m_model.byteCount))
                return spaceError;
            if (progress)
                progress(0);
            error = m_transport->fetch(m_model.url, 0, m_model.byteCount, partialPath(), progress, cancellation);
        }
        // Not the model: nothing of it is kept to resume.
        if (error && error->kind() == WhisperModelDownloadError::Kind::oversized)
            QFile::remove(partialPath());
        if (error)
            return error;
    }
    if (cancellation.isCancelled())
        return WhisperModelDownloadError::cancelled();

    const qint64 count = partialByteCount().value_or(0);
    if (count != m_model.byteCount) {
        if (count > m_model.byteCount)
            QFile::remove(partialPath());
        return WhisperModelDownloadError::incomplete(count, m_model.byteCount);
    }
    const auto hash = sha256(partialPath());
    if (const auto* error = std::get_if<WhisperModelDownloadError>(&hash))
        return *error;
    if (std::get<QString>(hash) != m_model.sha256) {
        QFile::remove(partialPath());
        return WhisperModelDownloadError::checksumMismatch();
    }

    QFile::remove(markerPath());
    if (QFile::exists(modelPath()) && !QFile::remove(modelPath()))
        return WhisperModelDownloadError::fileSystem(modelPath() + QStringLiteral(": cannot replace the old model"));
    if (const auto error = platform::FileSystem::rename(partialPath(), modelPath()))
        return WhisperModelDownloadError::fileSystem(modelPath() + QStringLiteral(": ") + error->description());
    return writeMarker();
}

std::variant<bool, WhisperModelDownloadError> WhisperModelInstaller::verifyInstalledModel() const
{
    if (!QFile::exists(modelPath()))
        return false;
    if (fileSize(modelPath()) == m_model.byteCount) {
        const auto hash = sha256(modelPath());
        if (const auto* error = std::get_if<WhisperModelDownloadError>(&hash))
            return *error;
        if (std::get<QString>(hash) == m_model.sha256) {
            if (auto error = writeMarker())
                return *error;
            return true;
        }
    }
    QFile::remove(modelPath());
    QFile::remove(markerPath());
    return false;
}

} // namespace velmora
