#pragma once

#include "DictationActivationEventLogger.h"
#include "DictationActivationSource.h"
#include "DictationMode.h"
#include "DictationRecorder.h"
#include "DictationSession.h"
#include "SegmentProducer.h"

#include "BrowserBridge/BrowserSessionController.h"
#include "Engine/WhisperConfiguration.h"
#include "Model/WhisperModelState.h"
#include "TextDelivery/DirectInsertPolicy.h"
#include "Platform/FrontmostApplicationSource.h"
#include "Platform/PreferencesStore.h"
#include "Vocabulary/VocabularyEntry.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class DirectInserter;
class WhisperStreamTranscriber;
class PasteboardAccess;
class TranscriptionNotificationService;

enum class DictationSound { start, stop };

// Everything the controller works with, each replaceable in tests.
struct DictationServices {
    platform::PreferencesStore* defaults = nullptr;
    DictationRecorder* recorder = nullptr;
    std::function<std::optional<AudioInputDevice>()> captureDevice;
    SegmentProducer produceSegment;
    std::function<void()> cancelWarmUp;
    std::function<void(const WhisperConfiguration&)> startWarmUpOnce;
    DirectInserter* inserter = nullptr;
    PasteboardAccess* clipboard = nullptr;
    std::function<bool()> canPostKeys;
    std::function<std::optional<platform::FrontmostApplication>()> frontmost;
    std::function<bool()> ownFocus;
    std::optional<DictationActivationEventLogger> logger;
    TranscriptionNotificationService* notices = nullptr;
    std::function<void(DictationSound)> playSound;
    // The managed model: its path and the model manager's state and download.
    QString managedModelPath;
    std::function<WhisperModelState()> modelState;
    std::function<void()> downloadModel;
    // The engine paths that work right now (the shipped runtime first).
    std::function<WhisperConfiguration(const WhisperConfiguration& current)> restoredRuntime;
    std::function<void(const QString& path)> removeFile;
    // Live mode: a stream transcriber for each live dictation, the bundle's whisper-stream
    // and the tool's index of the selected microphone (none: its default input).
    std::function<std::unique_ptr<WhisperStreamTranscriber>()> makeStream;
    std::function<std::optional<QString>()> streamExecutable;
    std::function<std::optional<int>(const QString& streamExecutable)> captureDeviceIndex;
    std::function<QList<VocabularyEntry>()> loadVocabulary;
    std::function<void(const QList<VocabularyEntry>&)> vocabularyChanged;
    std::function<void()> refreshVocabulary; // asks the sync to look at the file again
    // Calls back on the main thread, while `context` lives, once every read of the file
    // asked for so far has been delivered (the one at launch included).
    std::function<void(QObject* context, std::function<void()> then)> whenVocabularyCurrent;
    // How long a transcription waits for that before it goes on with the list it has.
    std::chrono::milliseconds vocabularyWait{2000};
    std::function<void(float)> setSoundVolume;                 // through the sound service
    // Subscribes to the model manager's state changes, for as long as `context` lives.
    std::function<QMetaObject::Connection(QObject* context, std::function<void()> changed)> onModelStateChanged;

    std::chrono::milliseconds copyIndicatorTime{1500};
    std::chrono::milliseconds recordingTick{200};
    std::chrono::milliseconds autoClearTick{500};
};

// The one owner of dictation state, on the main thread. Every trigger goes
// through its commands; the popover, settings and tray icon draw from its
// properties alone. Batch dictation, its timers, notices and the model gate.
class DictationController : public QObject, public BrowserSessionController {
    Q_OBJECT
    Q_PROPERTY(QString transcript READ transcript WRITE setTranscript NOTIFY transcriptChanged)
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(bool isTranscribing READ isTranscribing NOTIFY isTranscribingChanged)
    Q_PROPERTY(double elapsedSeconds READ elapsedSeconds NOTIFY elapsedSecondsChanged)
    Q_PROPERTY(QString executablePath READ executablePath WRITE setExecutablePath NOTIFY executablePathChanged)
    Q_PROPERTY(QString modelPath READ modelPath WRITE setModelPath NOTIFY modelPathChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(bool showCopiedIndicator READ showCopiedIndicator NOTIFY showCopiedIndicatorChanged)
    Q_PROPERTY(int autoClearRemaining READ autoClearRemaining NOTIFY autoClearRemainingChanged)
public:
    static constexpr int durationWarningThresholds[] = {3, 5, 10};

    explicit DictationController(DictationServices services, WhisperConfiguration configuration,
                                 QObject* parent = nullptr);
    ~DictationController() override;

    // Commands
    void toggleRecording(const DictationActivationSource& source);
    void startRecording(const DictationActivationSource& source);
    void stopRecording(const DictationActivationSource& source);
    void cancelTranscription(const DictationActivationSource& source);
    void copyTranscript();
    void clearTranscript();
    // The popover opening: the vocabulary file may have changed on another computer.
    void refreshVocabularyFromSync();
    // The application is quitting: every dictation ends now, its tool run stopped
    // rather than waited for. The recorder ends with its owner.
    void shutDown();
    // A dictation from its start to its paste; an installer's quit waits for none.
    bool hasDictationInProgress() const { return m_session || !m_delivering.empty(); }

    // Published fields
    QString transcript() const { return m_transcript; }
    void setTranscript(const QString& transcript);
    bool isRecording() const { return m_isRecording; }
    bool isTranscribing() const { return m_isTranscribing; }
    double elapsedSeconds() const { return m_elapsedSeconds; }
    QString executablePath() const { return m_executablePath; }
    void setExecutablePath(const QString& path);
    QString modelPath() const { return m_modelPath; }
    void setModelPath(const QString& path);
    QString language() const { return m_language; }
    void setLanguage(const QString& language);
    QString errorMessage() const { return m_errorMessage; } // empty: none
    QString statusMessage() const { return m_statusMessage; }
    bool showCopiedIndicator() const { return m_showCopiedIndicator; }
    int autoClearRemaining() const { return m_autoClearRemaining; }
    DictationMode mode() const;
    bool autoCopyToClipboard() const;
    bool directInsertEnabled() const;
    bool spaceBetweenDictations() const;
    bool notifyOnTranscriptionComplete() const;
    bool autoClearTranscript() const;
    qint64 autoClearDelay() const;
    bool soundEffectsEnabled() const;
    float soundEffectsVolume() const;
    bool durationWarningsEnabled() const;
    // The model Velmora downloads and keeps; the settings tag it "default".
    QString managedModelPath() const { return m_services.managedModelPath; }
    // Stored at once; the running services follow without a restart.
    void setMode(DictationMode mode);
    void setAutoCopyToClipboard(bool on);
    void setDirectInsertEnabled(bool on);
    void setSpaceBetweenDictations(bool on);
    // Switching it on asks for notification permission and says so if it is missing.
    void setNotifyOnTranscriptionComplete(bool on);
    void setAutoClearTranscript(bool on);
    void setAutoClearDelay(qint64 seconds);
    void setSoundEffectsEnabled(bool on);
    void setSoundEffectsVolume(float volume);
    void setDurationWarningsEnabled(bool on);
    QList<VocabularyEntry> vocabulary() const { return m_vocabulary; }
    void setVocabulary(const QList<VocabularyEntry>& entries);

    // Browser sessions: a batch dictation owned by a bridge request.
    bool startBrowserSession(const QString& id, Emit emitEvent) override;
    void stopBrowserSession(const QString& id) override;
    void cancelBrowserSession(const QString& id) override;
    bool hasBrowserSession() const { return m_session && m_session->browser; }

    // Trimmed paths; an empty language is "auto".
    WhisperConfiguration configuration() const;
    bool usesDownloadedModel() const;
    void restoreRuntimeIfNeeded();
    bool ensureModelAvailable(const DictationActivationSource& source);
    void startWhisperWarmUp();

    // Warnings and notices
    void startAutoClearCountdown();
    void cancelAutoClear();
    void postTranscriptionCompletionNotification(bool wasCopiedToClipboard);
    void refreshNotificationAuthorizationIfNeeded();
    void requestNotificationAuthorizationFromSettingsToggle();
    void clearNotificationErrorIfPresent();

    // Test hooks: the monotonic clock in milliseconds.
    void setClock(std::function<qint64()> nowMs) { m_now = std::move(nowMs); }

signals:
    void transcriptChanged();
    void isRecordingChanged();
    void isTranscribingChanged();
    void elapsedSecondsChanged();
    void executablePathChanged();
    void modelPathChanged();
    void languageChanged();
    void errorMessageChanged();
    void statusMessageChanged();
    void showCopiedIndicatorChanged();
    void autoClearRemainingChanged();
    void vocabularyChanged();
    void preferencesChanged();
    // A dictation ended, its paste included: what waited for it may go ahead.
    void dictationEnded();

private:
    void log(const QString& action, const std::optional<DictationActivationSource>& source,
             const std::optional<QString>& message = std::nullopt);
    void setIsRecording(bool value);
    void setIsTranscribing(bool value);
    void setElapsedSeconds(double value);
    void setErrorMessage(const QString& value);
    void setStatusMessage(const QString& value);
    void setShowCopiedIndicator(bool value);
    void setAutoClearRemaining(int value);
    void play(DictationSound sound);
    void stored(std::optional<platform::PreferencesError> error);

    using Session = DictationSession;
    using Phase = DictationSession::Phase;
    // A new session becomes the current one; only the newest session's lines are shown.
    Session& beginSession(Session::Kind kind);
    // How a session ends: its last status line, its error, a browser's last event.
    struct Ending {
        std::optional<QString> status;
        std::optional<QString> error;
        std::optional<BrowserBridgeEvent> event;
    };
    // Ends it exactly once; a browser's last event goes after it is gone, so the
    // receiver may start anew.
    void endSession(Session& session, Ending ending = {});
    void setPhase(Session& session, Phase phase);
    bool isNewest(const Session& session) const { return session.number() == m_sessionCount; }
    void statusFor(const Session& session, const QString& text);
    void publishPhase();
    // What every start does first: the countdown goes, paths are repaired, the
    // model gate is asked and the configuration is kept. False: the gate refused.
    bool prepareStart(const DictationActivationSource& source);
    void startBatch(Session& session);
    void recorderStarted(Session& session, const DictationRecorder::Result& result);
    void recorderStopped(Session& session, const DictationRecorder::Result& result);
    // What every kind does once it captures: the clock, the line, the log, the sound.
    void recordingBegan(Session& session, const QString& status);
    // The recorder's stop, whose answer ends or carries on this session.
    void stopRecorder(Session& session);
    void stopBatchRecording(Session& session);
    void transcribe(Session& session, const QString& audioFile);
    void runSegment(Session& session, const QString& audioFile, const WhisperConfiguration& configuration);
    void finishTranscription(Session& session, const SegmentResult& result);
    // Pastes when allowed; `done` gets whether it pasted.
    void insertSegmentIfEnabled(Session& session, const QString& text, std::function<void(Session&, bool pasted)> done);
    void startStreamRecording();
    void stopStreamRecording(Session& session);
    void finishStreamRecording(Session& session);
    void startTimer(Session& session);
    void checkDurationWarnings(Session& session);
    Session* browserSession(const QString& id) const;
    template <typename T>
    static bool changed(T& member, const T& value)
    {
        if (member == value)
            return false;
        member = value;
        return true;
    }
    void removeFile(const QString& path);

    DictationServices m_services;
    std::function<qint64()> m_now;

    QString m_transcript;
    bool m_isRecording = false;
    bool m_isTranscribing = false;
    double m_elapsedSeconds = 0;
    QString m_executablePath, m_modelPath, m_language;
    QString m_errorMessage;
    QString m_statusMessage = QStringLiteral("Ready");
    bool m_showCopiedIndicator = false;
    int m_autoClearRemaining = 0;
    QList<VocabularyEntry> m_vocabulary;

    // The dictation under way, and those whose paste is still on its way.
    std::unique_ptr<DictationSession> m_session;
    std::vector<std::unique_ptr<DictationSession>> m_delivering;
    quint64 m_sessionCount = 0;
    std::optional<PastedDictation> m_lastPaste;
    QTimer m_autoClearTimer;
    std::optional<qint64> m_autoClearDeadlineMs;
    bool m_didShowNotificationFailureHint = false;
    QMetaObject::Connection m_warmUpModelObservation;
};

} // namespace velmora
