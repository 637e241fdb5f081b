#pragma once

#include "Platform/SoundServerError.h"

#include <QString>

#include <optional>

namespace velmora {

class AudioRecorderError {
public:
    // noSoundServer is a setup failure with a text of its own: nothing refused
    // access, there is simply no server to ask.
    enum class Kind { deviceUnavailable, permissionDenied, recorderSetupFailed, noSoundServer, failedToStart, noActiveRecording,
                      noPrivateFolder };

    static AudioRecorderError deviceUnavailable(const QString& name) { return {Kind::deviceUnavailable, name}; }
    static AudioRecorderError permissionDenied() { return {Kind::permissionDenied, {}}; }
    static AudioRecorderError recorderSetupFailed() { return {Kind::recorderSetupFailed, {}}; }
    static AudioRecorderError noSoundServer() { return {Kind::noSoundServer, {}}; }
    static AudioRecorderError failedToStart() { return {Kind::failedToStart, {}}; }
    static AudioRecorderError noActiveRecording() { return {Kind::noActiveRecording, {}}; }
    static AudioRecorderError noPrivateFolder() { return {Kind::noPrivateFolder, {}}; }

    // A failure of the sound server while starting a recording of `device` (none: the default input).
    static AudioRecorderError fromSoundServer(platform::SoundServerError error, const std::optional<QString>& deviceName)
    {
        switch (error) {
        case platform::SoundServerError::noServer:
            return noSoundServer();
        case platform::SoundServerError::accessDenied:
            return permissionDenied();
        case platform::SoundServerError::noSuchSource:
            return deviceName ? deviceUnavailable(*deviceName) : failedToStart();
        case platform::SoundServerError::fileFailed:
            return recorderSetupFailed();
        case platform::SoundServerError::failed:
            return failedToStart();
        }
        return failedToStart();
    }

    // A failure to reach the sound server at all.
    static AudioRecorderError fromSoundServerConnection(platform::SoundServerError error)
    {
        switch (error) {
        case platform::SoundServerError::noServer:
        case platform::SoundServerError::accessDenied:
            return fromSoundServer(error, std::nullopt);
        case platform::SoundServerError::noSuchSource:
        case platform::SoundServerError::fileFailed:
        case platform::SoundServerError::failed:
            return recorderSetupFailed();
        }
        return recorderSetupFailed();
    }

    Kind kind() const { return m_kind; }
    QString description() const
    {
        switch (m_kind) {
        case Kind::deviceUnavailable:
            return QStringLiteral("Audio input device \"%1\" is not available.").arg(m_name);
        case Kind::permissionDenied:
            return QStringLiteral("Microphone access was refused by the sound server. Check your desktop's privacy "
                                  "settings for the microphone.");
        case Kind::recorderSetupFailed:
            return QStringLiteral("The audio recorder could not be configured.");
        case Kind::noSoundServer:
            return QStringLiteral("No sound server is running. Start PipeWire or PulseAudio, then try again.");
        case Kind::failedToStart:
            return QStringLiteral("Recording could not be started.");
        case Kind::noActiveRecording:
            return QStringLiteral("There is no active recording to stop.");
        case Kind::noPrivateFolder:
            return QStringLiteral("Nothing was recorded: Velmora found no folder that only you can open to keep the "
                                  "recording in. Check that /tmp and $XDG_RUNTIME_DIR can be written, then restart "
                                  "Velmora.");
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
