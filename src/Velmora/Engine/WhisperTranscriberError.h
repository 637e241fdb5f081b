#pragma once

#include <QString>

namespace velmora {

class WhisperTranscriberError {
public:
    enum class Kind {
        executableMissing,
        modelMissing,
        processFailure,
        outputMissing,
        cancelled,       // the transcriber was invalidated before the tool started
        startFailed,     // the tool could not be started
        outputUnreadable // the text file could not be read
    };

    static WhisperTranscriberError executableMissing(const QString& path) { return {Kind::executableMissing, path}; }
    static WhisperTranscriberError modelMissing(const QString& path) { return {Kind::modelMissing, path}; }
    static WhisperTranscriberError processFailure(const QString& message) { return {Kind::processFailure, message}; }
    static WhisperTranscriberError outputMissing() { return {Kind::outputMissing, {}}; }
    static WhisperTranscriberError cancelled() { return {Kind::cancelled, {}}; }
    static WhisperTranscriberError startFailed(const QString& reason) { return {Kind::startFailed, reason}; }
    static WhisperTranscriberError outputUnreadable(const QString& reason) { return {Kind::outputUnreadable, reason}; }

    Kind kind() const { return m_kind; }
    const QString& payload() const { return m_payload; }
    // The user-facing text.
    QString description() const;

    bool operator==(const WhisperTranscriberError&) const = default;

private:
    WhisperTranscriberError(Kind kind, QString payload) : m_kind(kind), m_payload(std::move(payload)) {}

    Kind m_kind;
    QString m_payload;
};

} // namespace velmora
