#pragma once

#include "WhisperModelTransport.h"

#include <chrono>

namespace velmora {

// Qt Network: redirects followed, the body streamed to disk, an idle limit
// (the request fails when no data arrives for that long), cancellation at once.
class HttpWhisperModelTransport final : public WhisperModelTransport {
public:
    explicit HttpWhisperModelTransport(std::chrono::milliseconds idleTimeout = std::chrono::seconds(60))
        : m_idleTimeout(idleTimeout) {}

    [[nodiscard]] std::optional<WhisperModelDownloadError> fetch(const QUrl& url, qint64 offset, qint64 limit,
                                                                 const QString& destination,
                                                   const Progress& progress,
                                                   DownloadCancellation& cancellation) override;

private:
    std::chrono::milliseconds m_idleTimeout;
};

} // namespace velmora
