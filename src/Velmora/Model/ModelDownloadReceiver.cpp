#include "ModelDownloadReceiver.h"

namespace velmora {

ModelDownloadReceiver::ModelDownloadReceiver(QString destination, qint64 offset, qint64 limit,
                                             WhisperModelTransport::Progress progress)
    : m_destination(std::move(destination))
    , m_offset(offset)
    , m_limit(limit)
    , m_progress(std::move(progress))
    , m_file(m_destination)
{
}

bool ModelDownloadReceiver::openDestination(int status, const QByteArray& contentRange)
{
    if (status == 200) {
        // A full answer: the file starts over.
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_failure = WhisperModelDownloadError::fileSystem(m_destination + QStringLiteral(": ") + m_file.errorString());
            return false;
        }
        m_written = 0;
        return true;
    }
    if (status == 206) {
        if (m_offset < 1) {
            m_failure = WhisperModelDownloadError::httpStatus(206);
            return false;
        }
        if (!contentRange.startsWith("bytes " + QByteArray::number(m_offset) + '-')) {
            m_failure = WhisperModelDownloadError::unexpectedContentRange(QString::fromLatin1(contentRange));
            return false;
        }
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_failure = WhisperModelDownloadError::fileSystem(m_destination + QStringLiteral(": ") + m_file.errorString());
            return false;
        }
        m_written = m_offset;
        return true;
    }
    m_failure = status == 416 ? WhisperModelDownloadError::rangeNotSatisfiable()
                              : WhisperModelDownloadError::httpStatus(status);
    return false;
}

bool ModelDownloadReceiver::receive(const QByteArray& bytes)
{
    if (m_failure || !m_file.isOpen())
        return false;
    // Whatever a server sends past the model's size is not the model: stop, write none of it.
    if (m_written + bytes.size() > m_limit) {
        m_failure = WhisperModelDownloadError::oversized(m_limit);
        return false;
    }
    if (m_file.write(bytes) != bytes.size()) {
        m_failure = WhisperModelDownloadError::fileSystem(m_destination + QStringLiteral(": ") + m_file.errorString());
        return false;
    }
    m_written += bytes.size();
    if (m_written - m_reported > 1048575) {
        m_reported = m_written;
        if (m_progress)
            m_progress(m_written);
    }
    return true;
}

void ModelDownloadReceiver::reportWritten()
{
    if (m_progress)
        m_progress(m_written);
}

std::optional<WhisperModelDownloadError> ModelDownloadReceiver::finish()
{
    if (m_file.isOpen())
        m_file.close();
    return m_failure;
}

} // namespace velmora
