#pragma once

#include <QString>

#include <optional>

namespace velmora {

struct WhisperModelState {
    enum class Kind { checking, missing, verifying, downloading, ready, failed };

    Kind kind = Kind::checking;
    qint64 receivedBytes = 0; // with downloading
    qint64 totalBytes = 0;    // with downloading
    QString message;          // with failed

    static WhisperModelState checking() { return {Kind::checking, 0, 0, {}}; }
    static WhisperModelState missing() { return {Kind::missing, 0, 0, {}}; }
    static WhisperModelState verifying() { return {Kind::verifying, 0, 0, {}}; }
    static WhisperModelState downloading(qint64 received, qint64 total) { return {Kind::downloading, received, total, {}}; }
    static WhisperModelState ready() { return {Kind::ready, 0, 0, {}}; }
    static WhisperModelState failed(const QString& message) { return {Kind::failed, 0, 0, message}; }

    bool operator==(const WhisperModelState&) const = default;

    // Why dictation cannot start now; none when the model is ready.
    std::optional<QString> unavailableMessage() const;
};

} // namespace velmora
