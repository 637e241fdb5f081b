#include "WhisperTranscriberError.h"

namespace velmora {

QString WhisperTranscriberError::description() const
{
    switch (m_kind) {
    case Kind::executableMissing:
        return QStringLiteral("whisper-cli was not found at %1. Install whisper.cpp and update the path in the app.")
            .arg(m_payload);
    case Kind::modelMissing:
        return QStringLiteral(
                   "Whisper model file not found at %1. Download the speech model or pick another one in Settings.")
            .arg(m_payload);
    case Kind::processFailure:
        return m_payload;
    case Kind::outputMissing:
        return QStringLiteral("The transcription finished without a text output file.");
    case Kind::cancelled:
        return QStringLiteral("The transcription was cancelled.");
    case Kind::startFailed:
        return QStringLiteral("whisper-cli could not be started: %1").arg(m_payload);
    case Kind::outputUnreadable:
        return QStringLiteral("The transcription's text file could not be read: %1").arg(m_payload);
    }
    return {};
}

} // namespace velmora
