#include "SegmentProducer.h"

#include "Engine/WhisperTranscriber.h"
#include "Vocabulary/VocabularyPrompt.h"

namespace velmora {

SegmentProducer defaultSegmentProducer(std::shared_ptr<WhisperTranscriber> transcriber)
{
    return [transcriber](const QString& audioFile, const WhisperConfiguration& configuration,
                         const QList<VocabularyEntry>& vocabulary,
                         const std::shared_ptr<RunCancellation>& cancellation) -> SegmentResult {
        const auto prompt = VocabularyPrompt::make(vocabulary);
        auto result = transcriber->transcribe(audioFile, configuration, prompt, true, cancellation);
        if (const auto* error = std::get_if<WhisperTranscriberError>(&result))
            return *error;
        // On silence the model tends to read the prompt back: that is nothing said.
        if (VocabularyPrompt::isEcho(std::get<QString>(result), prompt))
            return QString();
        return result;
    };
}

} // namespace velmora
