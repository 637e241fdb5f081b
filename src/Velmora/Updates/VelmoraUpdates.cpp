#include "VelmoraUpdates.h"

#include "Dictation/DictationController.h"

namespace velmora {

VelmoraUpdates::VelmoraUpdates(QObject* parent)
    : QObject(parent)
{
}

void VelmoraUpdates::setDictationController(DictationController* controller)
{
    m_controller = controller;
}

std::optional<QString> VelmoraUpdates::blockReason(bool isRecording, bool isTranscribing, const QString& transcript)
{
    if (isRecording)
        return QStringLiteral("Stop the active recording first.");
    if (isTranscribing)
        return QStringLiteral("Wait for the current transcription to finish.");
    if (!transcript.trimmed().isEmpty())
        return QStringLiteral("Save or copy your transcript, then clear it before installing the update.");
    return std::nullopt;
}

std::optional<QString> VelmoraUpdates::installationBlockReason() const
{
    if (!m_controller)
        return std::nullopt;
    // A dictation still pasting its text counts as transcribing: the swap would cut it off.
    const bool recording = m_controller->isRecording();
    return blockReason(recording, !recording && m_controller->hasDictationInProgress(), m_controller->transcript());
}

} // namespace velmora
