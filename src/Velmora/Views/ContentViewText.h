#pragma once

#include <QColor>
#include <QString>

#include <optional>

namespace velmora::ContentViewText {

// "%02d:%02d" of whole seconds, rounded down.
QString elapsedText(double seconds);
// Blank: nothing but white space and line breaks.
bool isBlank(const QString& transcript);
// The transcript's length in characters as people count them; none when blank.
std::optional<QString> characterCount(const QString& transcript);
// "12s" while at least one second remains; none otherwise.
std::optional<QString> autoClearText(int remainingSeconds);

enum class RecordButtonState { idle, recording, transcribing };
RecordButtonState recordButtonState(bool isRecording, bool isTranscribing);
QColor stateColor(RecordButtonState state);
QString recordButtonToolTip(RecordButtonState state);

} // namespace velmora::ContentViewText
