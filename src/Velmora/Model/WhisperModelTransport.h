#pragma once

#include "DownloadCancellation.h"
#include "WhisperModelDownloadError.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace velmora {

// Fetches a URL's body into a file. Blocking; runs on a worker thread.
class WhisperModelTransport {
public:
    using Progress = std::function<void(qint64 bytesInFile)>;

    virtual ~WhisperModelTransport() = default;
    // Appends from `offset` when it is above 0; reports the bytes in the file. The file never
    // grows past `limit` bytes: a longer body stops the transfer with `oversized`.
    [[nodiscard]] virtual std::optional<WhisperModelDownloadError> fetch(const QUrl& url, qint64 offset, qint64 limit,
                                                           const QString& destination,
                                                           const Progress& progress,
                                                           DownloadCancellation& cancellation) = 0;
};

} // namespace velmora
