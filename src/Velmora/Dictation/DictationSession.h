#pragma once

#include "BrowserBridge/BrowserSessionController.h"
#include "Engine/RunCancellation.h"
#include "Platform/FrontmostApplicationSource.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class VocabularyCorrector;
class WhisperStreamTranscriber;

// One dictation, from the press that starts it to its last status line: its
// recording, its tool run, its timer, its paste and its files. It ends exactly
// once; ending stops its run and its live tool and removes its files. Every
// callback it gives out is bound to it (`bind`), so whatever arrives after it
// ended is dropped without a check at the call site.
class DictationSession final : public QObject {
    Q_OBJECT
public:
    enum class Kind { batch, live, browser };
    // delivering: the text is in the transcript; the paste and the notice are on their way.
    enum class Phase { starting, recording, stopping, transcribing, delivering };

    DictationSession(Kind kind, quint64 number, std::function<void(const QString&)> removeFile);
    ~DictationSession() override;

    Kind kind() const { return m_kind; }
    quint64 number() const { return m_number; }
    Phase phase() const { return m_phase; }
    void setPhase(Phase phase) { m_phase = phase; }
    bool hasEnded() const { return m_ended; }
    // Stops what runs and removes the files; the object itself goes later, so a
    // caller up the stack may still hold it.
    void end();

    // Removed when the session ends (a run that finished removed it already).
    void keepFile(const QString& path);
    // Handed to a tool run, which removes it when it ends.
    void releaseFile(const QString& path) { m_files.removeAll(path); }
    QStringList files() const { return m_files; }
    const std::shared_ptr<RunCancellation>& run() const { return m_run; }

    // A callback that runs only while this session has not ended.
    template <typename F>
    auto bind(F f)
    {
        return [session = QPointer<DictationSession>(this), f = std::move(f)](auto&&... args) {
            if (session && !session->m_ended)
                f(*session, std::forward<decltype(args)>(args)...);
        };
    }

    // A browser session's request and how its events go back.
    struct Browser {
        QString id;
        BrowserSessionController::Emit emitEvent;
        bool stopRequested = false;
        bool cancelRequested = false;
    };
    std::optional<Browser> browser;
    // The window in front at the stop: where a batch text goes.
    std::optional<platform::FrontmostApplication> target;
    // Live mode: the tool, the transcript it appends to and the corrections of its start.
    std::unique_ptr<WhisperStreamTranscriber> stream;
    QString baseTranscript;
    std::unique_ptr<VocabularyCorrector> corrector;
    // The recording's clock.
    QTimer recordingTimer;
    qint64 startedAtMs = 0;
    QSet<int> firedDurationWarnings;

private:
    const Kind m_kind;
    const quint64 m_number;
    Phase m_phase = Phase::starting;
    bool m_ended = false;
    std::function<void(const QString&)> m_removeFile;
    QStringList m_files;
    std::shared_ptr<RunCancellation> m_run = std::make_shared<RunCancellation>();
};

} // namespace velmora
