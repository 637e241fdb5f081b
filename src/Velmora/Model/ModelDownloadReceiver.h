#pragma once

#include "WhisperModelDownloadError.h"
#include "WhisperModelTransport.h"

#include <QFile>

#include <optional>

class QNetworkReply;

namespace velmora {

// Streams one response body into the partial file as it arrives, after
// checking that the response continues the file where it ends.
class ModelDownloadReceiver {
public:
    // The file never holds more than `limit` bytes: a longer body is refused as `oversized`.
    ModelDownloadReceiver(QString destination, qint64 offset, qint64 limit, WhisperModelTransport::Progress progress);

    // For the final response (after redirects): decides from its status how
    // the file is opened. False, with the failure stored, when it cannot go on.
    bool openDestination(int status, const QByteArray& contentRange);
    // False once the transfer must stop.
    bool receive(const QByteArray& bytes);
    // Closes the file; the stored failure, if any.
    [[nodiscard]] std::optional<WhisperModelDownloadError> finish();
    void reportWritten();

    bool isOpen() const { return m_file.isOpen(); }
    const std::optional<WhisperModelDownloadError>& failure() const { return m_failure; }

private:
    QString m_destination;
    qint64 m_offset;
    qint64 m_limit;
    WhisperModelTransport::Progress m_progress;
    QFile m_file;
    qint64 m_written = 0;
    qint64 m_reported = 0;
    std::optional<WhisperModelDownloadError> m_failure;
};

} // namespace velmora
