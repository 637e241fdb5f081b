#include "ContentViewText.h"

#include <QTextBoundaryFinder>

#include <cmath>

namespace velmora::ContentViewText {

QString elapsedText(double seconds)
{
    const qint64 whole = seconds > 0 && std::isfinite(seconds) ? qint64(std::floor(seconds)) : 0;
    return QString::asprintf("%02lld:%02lld", whole / 60, whole % 60);
}

bool isBlank(const QString& transcript)
{
    return transcript.trimmed().isEmpty();
}

std::optional<QString> characterCount(const QString& transcript)
{
    if (isBlank(transcript))
        return std::nullopt;
    // An accented letter or an emoji is one character to the reader, not two code units.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, transcript);
    qint64 count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return QString::number(count);
}

std::optional<QString> autoClearText(int remainingSeconds)
{
    if (remainingSeconds < 1)
        return std::nullopt;
    return QStringLiteral("%1s").arg(remainingSeconds);
}

RecordButtonState recordButtonState(bool isRecording, bool isTranscribing)
{
    if (isTranscribing)
        return RecordButtonState::transcribing;
    return isRecording ? RecordButtonState::recording : RecordButtonState::idle;
}

QColor stateColor(RecordButtonState state)
{
    switch (state) {
    case RecordButtonState::transcribing:
        return QColor(0x0a, 0x84, 0xff);
    case RecordButtonState::recording:
        return QColor(0xff, 0x3b, 0x30);
    case RecordButtonState::idle:
        break;
    }
    return QColor(0x30, 0xb0, 0x50);
}

QString recordButtonToolTip(RecordButtonState state)
{
    return state == RecordButtonState::transcribing ? QStringLiteral("Cancel transcription")
                                                    : QStringLiteral("Toggle recording");
}

} // namespace velmora::ContentViewText
