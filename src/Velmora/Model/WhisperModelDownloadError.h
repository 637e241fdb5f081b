#pragma once

#include <QString>

namespace velmora {

class WhisperModelDownloadError {
public:
    enum class Kind {
        httpStatus,
        unexpectedContentRange,
        incomplete,
        oversized,  // the server sent more than the model's size
        insufficientDiskSpace,
        rangeNotSatisfiable,
        checksumMismatch,
        cancelled,  // the download was cancelled
        network,    // the connection failed or stalled
        fileSystem, // a file could not be created, written, read or moved
    };

    static WhisperModelDownloadError httpStatus(int code) { return {Kind::httpStatus, code, 0, {}}; }
    static WhisperModelDownloadError unexpectedContentRange(const QString& header)
    {
        return {Kind::unexpectedContentRange, 0, 0, header};
    }
    static WhisperModelDownloadError incomplete(qint64 received, qint64 expected)
    {
        return {Kind::incomplete, received, expected, {}};
    }
    static WhisperModelDownloadError oversized(qint64 expected) { return {Kind::oversized, expected, 0, {}}; }
    static WhisperModelDownloadError insufficientDiskSpace(qint64 needed, qint64 available)
    {
        return {Kind::insufficientDiskSpace, needed, available, {}};
    }
    static WhisperModelDownloadError rangeNotSatisfiable() { return {Kind::rangeNotSatisfiable, 0, 0, {}}; }
    static WhisperModelDownloadError checksumMismatch() { return {Kind::checksumMismatch, 0, 0, {}}; }
    static WhisperModelDownloadError cancelled() { return {Kind::cancelled, 0, 0, {}}; }
    static WhisperModelDownloadError network(const QString& message) { return {Kind::network, 0, 0, message}; }
    static WhisperModelDownloadError fileSystem(const QString& message) { return {Kind::fileSystem, 0, 0, message}; }

    Kind kind() const { return m_kind; }
    qint64 first() const { return m_first; }
    qint64 second() const { return m_second; }
    // The user-facing text.
    QString description() const;
    // Whether another attempt may succeed.
    bool isRetryable() const;

    bool operator==(const WhisperModelDownloadError&) const = default;

    // Decimal file-size style: "574 MB", "1.15 GB", "512 bytes".
    static QString fileSize(qint64 bytes);

private:
    WhisperModelDownloadError(Kind kind, qint64 first, qint64 second, QString text)
        : m_kind(kind), m_first(first), m_second(second), m_text(std::move(text)) {}

    Kind m_kind;
    qint64 m_first;
    qint64 m_second;
    QString m_text;
};

} // namespace velmora
