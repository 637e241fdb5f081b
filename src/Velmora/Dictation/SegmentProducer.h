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
// From a finished recording to the text as heard. Blocks: runs off the main thread.
using SegmentProducer =
    std::function<SegmentResult(const QString& audioFile, const WhisperConfiguration&, const QList<VocabularyEntry>&)>;

// The user's terms as the prompt, the shipped voice-activity model on, and a result
// that only repeats the prompt taken as silence. The corrections are the caller's:
// they apply the list that is current when the text comes back.
SegmentProducer defaultSegmentProducer(std::shared_ptr<WhisperTranscriber> transcriber);

} // namespace velmora
