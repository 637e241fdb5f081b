#pragma once

#include "PinnedWhisperModel.h"
#include "VerificationMarker.h"
#include "WhisperModelTransport.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace velmora {

// Downloads the pinned model with resume, checks disk space first, and moves
// it into place only after its size and SHA-256 are right. Blocking: runs on
// a worker thread. The partial file on disk is its only memory.
class WhisperModelInstaller {
public:
    using CapacityProbe = std::function<std::optional<qint64>(const QString& folder)>;

    WhisperModelInstaller(PinnedWhisperModel model, QString directory, std::shared_ptr<WhisperModelTransport> transport,
                          CapacityProbe availableCapacity = freeSpace);

    [[nodiscard]] std::optional<WhisperModelDownloadError> install(const WhisperModelTransport::Progress& progress,
                                                     DownloadCancellation& cancellation) const;
    // Re-checks an installed file by size and hash; deletes it when wrong.
    [[nodiscard]] std::variant<bool, WhisperModelDownloadError> verifyInstalledModel() const;

    std::optional<qint64> partialByteCount() const;
    // The model file as it is now, when it has the pinned size.
    std::optional<VerificationMarker> currentMarker() const;
    // The marker on disk, when it reads.
    std::optional<VerificationMarker> storedMarker() const;
    [[nodiscard]] std::optional<WhisperModelDownloadError> writeMarker() const;

    const PinnedWhisperModel& model() const { return m_model; }
    QString modelPath() const;
    QString partialPath() const;
    QString markerPath() const;

    // Lower-case hex SHA-256, read in 8 MiB blocks.
    static std::variant<QString, WhisperModelDownloadError> sha256(const QString& path);
    static std::optional<qint64> fileSize(const QString& path);
    // Free bytes for an unprivileged user on the folder's file system.
    static std::optional<qint64> freeSpace(const QString& folder);

private:
    [[nodiscard]] std::optional<WhisperModelDownloadError> checkSpace(qint64 needed) const;

    PinnedWhisperModel m_model;
    QString m_directory;
    std::shared_ptr<WhisperModelTransport> m_transport;
    CapacityProbe m_availableCapacity;
};

} // namespace velmora
