#pragma once

#include "Engine/RunCancellation.h"
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
// The cancellation belongs to the dictation: cancelling it stops this run, and no other.
using SegmentProducer = std::function<SegmentResult(const QString& audioFile, const WhisperConfiguration&,
                                                    const QList<VocabularyEntry>&,
                                                    const std::shared_ptr<RunCancellation>&)>;

// The user's terms as the prompt, the shipped voice-activity model on, and a result
// that only repeats the prompt taken as silence. The corrections are the caller's:
// they apply the list that is current when the text comes back.
SegmentProducer defaultSegmentProducer(std::shared_ptr<WhisperTranscriber> transcriber);

} // namespace velmora
