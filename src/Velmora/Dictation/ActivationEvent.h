#pragma once

#include <QMap>
#include <QString>

#include <optional>

namespace velmora {

// One line of the activation log.
struct ActivationEvent {
    static constexpr int currentVersion = 3;

    int eventLogVersion = currentVersion;
    QString timestamp; // ISO 8601, UTC, whole seconds
    QString action;
    std::optional<QString> source;
    QMap<QString, QString> sourceDetails;
    QString mode;
    bool isRecording = false;
    bool isTranscribing = false;
    double elapsedSeconds = 0;
    qint32 processIdentifier = 0;
    std::optional<QString> frontmostApplicationName;
    std::optional<QString> frontmostBundleIdentifier;
    std::optional<QString> message;

    // Compact JSON, keys in the order above, absent optionals left out; no line feed.
    QByteArray jsonLine() const;
    // "action=... source=... mode=... recording=... transcribing=... elapsed=...s frontmost=... message=..."
    QString summary() const;
};

} // namespace velmora
