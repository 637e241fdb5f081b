#include "WhisperModelInstaller.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace velmora {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

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
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.st_size);
}

std::optional<qint64> WhisperModelInstaller::freeSpace(const QString& folder)
{
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.f_bavail) * qint64(info.f_frsize);
}

std::optional<qint64> WhisperModelInstaller::partialByteCount() const
{
    return fileSize(partialPath());
}

std::variant<QString, WhisperModelDownloadError> WhisperModelInstaller::sha256(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return WhisperModelDownloadError::fileSystem(path + QStringLiteral(": ") + systemError());
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    constexpr size_t blockSize = 8 * 1024 * 1024;
    const auto buffer = std::make_unique<unsigned char[]>(blockSize);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.get(), blockSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const QString reason = systemError();
            ::close(fd);
            return WhisperModelDownloadError::fileSystem(path + QStringLiteral(": ") + reason);
        }
        if (n == 0)
            break;
        EVP_DigestUpdate(context.get(), buffer.get(), size_t(n));
    }
    ::close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
}

std::optional<VerificationMarker> WhisperModelInstaller::currentMarker() const
{
    struct stat info {};
    if (::stat(QFile::encodeName(modelPath()).constData(), &info) != 0 || info.st_size != m_model.byteCount)
        return std::nullopt;
    const double modified = double(info.st_mtim.tv_sec) + double(info.st_mtim.tv_nsec) / 1e9;
    return VerificationMarker{m_model.sha256, qint64(info.st_size), modified};
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
        auto error = m_transport->fetch(m_model.url, start, partialPath(), progress, cancellation);
        const bool cannotResume = error && (error->kind() == WhisperModelDownloadError::Kind::unexpectedContentRange
                                            || error->kind() == WhisperModelDownloadError::Kind::rangeNotSatisfiable);
        if (cannotResume && start > 0) {
            // The server will not continue this file: start it over, once.
            QFile::remove(partialPath());
            if (auto spaceError = checkSpace(m_model.byteCount))
                return spaceError;
            if (progress)
                progress(0);
            error = m_transport->fetch(m_model.url, 0, partialPath(), progress, cancellation);
        }
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
    if (::rename(QFile::encodeName(partialPath()).constData(), QFile::encodeName(modelPath()).constData()) != 0)
        return WhisperModelDownloadError::fileSystem(modelPath() + QStringLiteral(": ") + systemError());
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
