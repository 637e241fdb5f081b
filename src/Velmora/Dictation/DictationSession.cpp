#include "DictationSession.h"

#include "Engine/WhisperStreamTranscriber.h"
#include "Vocabulary/VocabularyCorrector.h"

namespace velmora {

DictationSession::DictationSession(Kind kind, quint64 number, std::function<void(const QString&)> removeFile)
    : m_kind(kind)
    , m_number(number)
    , m_removeFile(std::move(removeFile))
{
}

DictationSession::~DictationSession()
{
    end();
}

void DictationSession::end()
{
    if (m_ended)
        return;
    m_ended = true;
    recordingTimer.stop();
    m_run->cancel();
    // The live tool is killed and reaped now, so the next session's tool never finds it
    // running; the transcriber itself may be the caller, so it goes later.
    if (stream) {
        stream->abort();
        stream.release()->deleteLater();
    }
    if (m_removeFile)
        for (const QString& file : std::exchange(m_files, {}))
            m_removeFile(file);
}

void DictationSession::keepFile(const QString& path)
{
    if (!path.isEmpty() && !m_files.contains(path))
        m_files << path;
}

} // namespace velmora
