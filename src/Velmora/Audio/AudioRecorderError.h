#pragma once

#include <QString>

namespace velmora {

class AudioRecorderError {
public:
    enum class Kind { deviceUnavailable, permissionDenied, recorderSetupFailed, failedToStart, noActiveRecording };

    static AudioRecorderError deviceUnavailable(const QString& name) { return {Kind::deviceUnavailable, name}; }
    static AudioRecorderError permissionDenied() { return {Kind::permissionDenied, {}}; }
    static AudioRecorderError recorderSetupFailed() { return {Kind::recorderSetupFailed, {}}; }
    static AudioRecorderError failedToStart() { return {Kind::failedToStart, {}}; }
    static AudioRecorderError noActiveRecording() { return {Kind::noActiveRecording, {}}; }

    Kind kind() const { return m_kind; }
    QString description() const
    {
        switch (m_kind) {
        case Kind::deviceUnavailable:
            return QStringLiteral("Audio input device \"%1\" is not available.").arg(m_name);
        case Kind::permissionDenied:
            return QStringLiteral("Microphone access is required. Grant access in System Settings > Privacy & Security > Microphone.");
        case Kind::recorderSetupFailed:
            return QStringLiteral("The audio recorder could not be configured.");
        case Kind::failedToStart:
            return QStringLiteral("Recording could not be started.");
        case Kind::noActiveRecording:
            return QStringLiteral("There is no active recording to stop.");
        }
        return {};
    }
    bool operator==(const AudioRecorderError&) const = default;

private:
    AudioRecorderError(Kind kind, QString name) : m_kind(kind), m_name(std::move(name)) {}
    Kind m_kind;
    QString m_name;
};

} // namespace velmora
