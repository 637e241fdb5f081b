#pragma once

#include "Engine/WhisperConfiguration.h"
#include "Engine/WhisperTranscriberError.h"
#include "Vocabulary/VocabularyEntry.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <variant>

namespace velmora {

class WhisperTranscriber;

using SegmentResult = std::variant<QString, WhisperTranscriberError>;
// From a finished recording to the text a dictation adds. Blocks: runs off the main thread.
using SegmentProducer =
    std::function<SegmentResult(const QString& audioFile, const WhisperConfiguration&, const QList<VocabularyEntry>&)>;

// The user's terms as the prompt, the shipped voice-activity model on, a result
// that only repeats the prompt taken as silence, and the corrections applied.
SegmentProducer defaultSegmentProducer(std::shared_ptr<WhisperTranscriber> transcriber);

} // namespace velmora
