#include "DictationController.h"

#include "BrowserBridge/BrowserBridge.h"
#include "BrowserBridge/BrowserBridgeFailureCode.h"
#include "Engine/ConfigurationStore.h"
#include "Engine/TranscriptFormatter.h"
#include "Engine/WhisperStreamTranscriber.h"
#include "Vocabulary/VocabularyCorrector.h"
#include "Preferences/AppPreferences.h"
#include "Preferences/PreferenceKeys.h"
#include "TextDelivery/DirectInsertPolicy.h"
#include "TextDelivery/DirectInserter.h"
#include "TextDelivery/PasteboardAccess.h"
#include "TextDelivery/TranscriptionNotificationService.h"

#include "Platform/FileProbe.h"
#include "Platform/PreferencesStore.h"
#include "Platform/LogCategories.h"
#include "Platform/MainThread.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

#include <cmath>

namespace velmora {
namespace {

// Why a paste that was allowed did not happen, in the status line's words. A
// clipboard that could not be saved is the classic reason; on X11 the keys
// themselves can fail too, and saying "clipboard" then would be wrong.
QString notInsertedReason(const std::optional<InsertResult>& result)
{
    if (!result || result->outcome != InsertOutcome::pasteNotSent)
        return QStringLiteral("clipboard could not be saved");
    if (result->keyError == platform::KeyInjectionError::modifiersHeld)
        return QStringLiteral("a modifier key was still held");
    return QStringLiteral("the paste keys could not be sent");
}

QThreadPool& segmentPool()
{
    // One run at a time; its own pool, so the tool never waits behind other work.
    static QThreadPool pool;
    pool.setMaxThreadCount(1);
    return pool;
}

} // namespace

DictationController::DictationController(DictationServices services, WhisperConfiguration configuration, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_executablePath(configuration.executablePath)
    , m_modelPath(configuration.modelPath)
    , m_language(configuration.language)
{
    QElapsedTimer monotonic;
    monotonic.start();
    m_now = [monotonic] { return monotonic.elapsed(); };
    if (m_services.loadVocabulary)
        m_vocabulary = m_services.loadVocabulary();
    m_recordingTimer.setInterval(m_services.recordingTick);
    connect(&m_recordingTimer, &QTimer::timeout, this, [this] {
        setElapsedSeconds(double(m_now() - m_recordingStartedAtMs) / 1000.0);
        checkDurationWarnings();
    });
    m_autoClearTimer.setInterval(m_services.autoClearTick);
    connect(&m_autoClearTimer, &QTimer::timeout, this, [this] {
        if (!m_autoClearDeadlineMs)
            return;
        const auto remaining = static_cast<int>(std::ceil(double(*m_autoClearDeadlineMs - m_now()) / 1000.0));
        if (remaining < 1)
            clearTranscript();
        else
            setAutoClearRemaining(remaining);
    });
}

DictationController::~DictationController()
{
    // A run still going finds no controller: its file is removed by the worker's own end.
    m_transcriptionRun.reset();
}

// ---- published fields ------------------------------------------------------

void DictationController::setTranscript(const QString& value)
{
    if (changed(m_transcript, value))
        emit transcriptChanged();
}

void DictationController::setIsRecording(bool value)
{
    if (changed(m_isRecording, value))
        emit isRecordingChanged();
}

void DictationController::setIsTranscribing(bool value)
{
    if (changed(m_isTranscribing, value))
        emit isTranscribingChanged();
}

void DictationController::setElapsedSeconds(double value)
{
    if (changed(m_elapsedSeconds, value))
        emit elapsedSecondsChanged();
}

void DictationController::setExecutablePath(const QString& value)
{
    if (changed(m_executablePath, value))
        emit executablePathChanged();
}

// The model and the language are kept the moment they change: a choice made in
// the settings would otherwise last only until the next dictation started.
void DictationController::setModelPath(const QString& value)
{
    if (!changed(m_modelPath, value))
        return;
    stored(m_services.defaults->setString(PreferenceKeys::modelPath, configuration().modelPath));
    emit modelPathChanged();
}

void DictationController::setLanguage(const QString& value)
{
    if (!changed(m_language, value))
        return;
    stored(m_services.defaults->setString(PreferenceKeys::language, configuration().language));
    emit languageChanged();
}

void DictationController::setErrorMessage(const QString& value)
{
    if (changed(m_errorMessage, value))
        emit errorMessageChanged();
}

void DictationController::setStatusMessage(const QString& value)
{
    if (changed(m_statusMessage, value))
        emit statusMessageChanged();
}

void DictationController::setShowCopiedIndicator(bool value)
{
    if (changed(m_showCopiedIndicator, value))
        emit showCopiedIndicatorChanged();
}

void DictationController::setAutoClearRemaining(int value)
{
    if (changed(m_autoClearRemaining, value))
        emit autoClearRemainingChanged();
}

void DictationController::setVocabulary(const QList<VocabularyEntry>& entries)
{
    if (entries == m_vocabulary)
        return;
    m_vocabulary = entries;
    emit vocabularyChanged();
    if (m_services.vocabularyChanged)
        m_services.vocabularyChanged(entries);
}

DictationMode DictationController::mode() const { return AppPreferences(*m_services.defaults).dictationMode(); }
bool DictationController::autoCopyToClipboard() const { return AppPreferences(*m_services.defaults).autoCopyToClipboard(); }
bool DictationController::directInsertEnabled() const { return AppPreferences(*m_services.defaults).directInsert(); }
bool DictationController::spaceBetweenDictations() const
{
    return AppPreferences(*m_services.defaults).spaceBetweenDictations();
}
bool DictationController::notifyOnTranscriptionComplete() const
{
    return AppPreferences(*m_services.defaults).notifyOnTranscriptionComplete();
}
bool DictationController::autoClearTranscript() const { return AppPreferences(*m_services.defaults).autoClearTranscript(); }
qint64 DictationController::autoClearDelay() const { return AppPreferences(*m_services.defaults).autoClearDelay(); }
bool DictationController::soundEffectsEnabled() const { return AppPreferences(*m_services.defaults).soundEffectsEnabled(); }
float DictationController::soundEffectsVolume() const { return AppPreferences(*m_services.defaults).soundEffectsVolume(); }
bool DictationController::durationWarningsEnabled() const
{
    return AppPreferences(*m_services.defaults).durationWarningsEnabled();
}

void DictationController::stored(std::optional<platform::PreferencesError> error)
{
    // The value applies for this run either way; only keeping it failed.
    if (error)
        qCWarning(logging::preferences).noquote() << "a dictation setting was not saved:" << platform::describe(*error);
    emit preferencesChanged();
}

void DictationController::setMode(DictationMode mode)
{
    stored(m_services.defaults->setString(PreferenceKeys::dictationMode, rawValue(mode)));
}

void DictationController::setAutoCopyToClipboard(bool on)
{
    stored(m_services.defaults->setBool(PreferenceKeys::autoCopyToClipboard, on));
}

void DictationController::setDirectInsertEnabled(bool on)
{
    stored(m_services.defaults->setBool(PreferenceKeys::directInsert, on));
}

void DictationController::setSpaceBetweenDictations(bool on)
{
    stored(m_services.defaults->setBool(PreferenceKeys::spaceBetweenDictations, on));
}

void DictationController::setNotifyOnTranscriptionComplete(bool on)
{
    const bool was = notifyOnTranscriptionComplete();
    stored(m_services.defaults->setBool(PreferenceKeys::notifyOnTranscriptionComplete, on));
    if (on && !was)
        requestNotificationAuthorizationFromSettingsToggle();
}

void DictationController::setAutoClearTranscript(bool on)
{
    stored(m_services.defaults->setBool(PreferenceKeys::autoClearTranscript, on));
}

void DictationController::setAutoClearDelay(qint64 seconds)
{
    stored(m_services.defaults->setInteger(PreferenceKeys::autoClearDelay, seconds));
}

void DictationController::setSoundEffectsEnabled(bool on)
{
    stored(m_services.defaults->setBool(PreferenceKeys::soundEffectsEnabled, on));
}

void DictationController::setSoundEffectsVolume(float volume)
{
    if (m_services.setSoundVolume) {
        m_services.setSoundVolume(volume);
        emit preferencesChanged();
    } else
        stored(m_services.defaults->setFloat(PreferenceKeys::soundEffectsVolume, volume));
}

void DictationController::setDurationWarningsEnabled(bool on)
{
    stored(m_services.defaults->setBool(PreferenceKeys::durationWarningsEnabled, on));
}

WhisperConfiguration DictationController::configuration() const
{
    const QString language = m_language.trimmed();
    return {m_executablePath.trimmed(), m_modelPath.trimmed(), language.isEmpty() ? QStringLiteral("auto") : language};
}

void DictationController::log(const QString& action, const std::optional<DictationActivationSource>& source,
                              const std::optional<QString>& message)
{
    if (m_services.logger)
        m_services.logger->record(action, source, mode(), m_isRecording, m_isTranscribing, m_elapsedSeconds, message);
}

void DictationController::play(DictationSound sound)
{
    // Read each time: switching sounds off applies to the very next one.
    if (m_services.playSound && soundEffectsEnabled())
        m_services.playSound(sound);
}

// ---- commands --------------------------------------------------------------

void DictationController::toggleRecording(const DictationActivationSource& source)
{
    if (m_isTranscribing)
        return; // a toggle never cancels a transcription
    if (m_isRecording)
        stopRecording(source);
    else
        startRecording(source);
}

void DictationController::startRecording(const DictationActivationSource& source)
{
    log(QStringLiteral("startRequested"), source);
    if (isBusy()) {
        log(QStringLiteral("startIgnored"), source);
        return;
    }
    if (!prepareStart(source))
        return;
    if (mode() == DictationMode::stream) {
        m_activeMode = DictationMode::stream;
        startStreamRecording();
        return;
    }
    startBatch();
}

bool DictationController::isBusy() const
{
    return m_isRecording || m_isTranscribing || m_isStarting || m_isStopping || m_browserSession;
}

bool DictationController::prepareStart(const DictationActivationSource& source)
{
    cancelAutoClear();
    restoreRuntimeIfNeeded();
    setErrorMessage({});
    if (!ensureModelAvailable(source))
        return false;
    ConfigurationStore::save(configuration(), *m_services.defaults);
    return true;
}

void DictationController::startBatch()
{
    // Set before the first wait, so a second command in the meantime sees it.
    setStatusMessage(QStringLiteral("Requesting microphone..."));
    m_isStarting = true;
    // A tray application is never "activated": a change made on another computer is
    // looked for now, so it is in place by the stop.
    if (m_services.refreshVocabulary)
        m_services.refreshVocabulary();
    m_activeMode = DictationMode::batch;
    QPointer<DictationController> self(this);
    const auto device = m_services.captureDevice ? m_services.captureDevice() : std::nullopt;
    m_services.recorder->startRecording(device, [self](const DictationRecorder::Result& result) {
        if (!self)
            return;
        self->m_isStarting = false;
        if (const auto* error = std::get_if<AudioRecorderError>(&result)) {
            self->setStatusMessage(QStringLiteral("Ready"));
            self->setErrorMessage(error->description());
            self->browserRecordingDidFailToStart(*error);
            self->log(QStringLiteral("startFailed"), std::nullopt, error->description());
            return;
        }
        if (self->discardCanceledBrowserStart(std::get<QString>(result)))
            return;
        const qint64 started = self->m_now();
        self->setElapsedSeconds(0);
        self->setIsRecording(true);
        self->setStatusMessage(QStringLiteral("Recording..."));
        self->log(QStringLiteral("started"), std::nullopt);
        self->play(DictationSound::start);
        self->startTimer(started);
        self->browserRecordingDidStart();
    });
}

void DictationController::stopRecording(const DictationActivationSource& source)
{
    if (!m_isRecording || m_isStopping)
        return;
    if (m_browserSession && m_browserSession->isDiscarding)
        return;
    log(QStringLiteral("stopRequested"), source);
    // The mode the session started in decides, not the preference as it is now.
    if (m_activeMode.value_or(mode()) == DictationMode::stream)
        stopStreamRecording();
    else
        stopBatchRecording();
}

void DictationController::stopBatchRecording()
{
    if (m_isStopping)
        return;
    m_isStopping = true;
    if (m_browserSession)
        m_browserSession->phase = BrowserSession::Phase::stopping; // its text goes to the browser
    else // the window in front now is where the text goes, if it is still in front then
        m_directInsertTarget = m_services.frontmost ? m_services.frontmost() : std::nullopt;
    QPointer<DictationController> self(this);
    m_services.recorder->stopRecording([self](const DictationRecorder::Result& result) {
        if (!self)
            return;
        self->m_isStopping = false;
        if (const auto* error = std::get_if<AudioRecorderError>(&result)) {
            // Still recording, timer running: the user can stop again.
            self->setErrorMessage(error->description());
            self->setStatusMessage(QStringLiteral("Ready"));
            self->browserRecordingDidFailToStop(*error);
            return;
        }
        self->setIsRecording(false);
        self->stopRecordingTimer();
        self->log(QStringLiteral("stopped"), std::nullopt);
        if (self->discardStoppedBrowserAudioIfCanceled(std::get<QString>(result)))
            return;
        self->play(DictationSound::stop);
        self->setStatusMessage(QStringLiteral("Transcribing..."));
        self->transcribe(std::get<QString>(result));
    });
}

void DictationController::transcribe(const QString& audioFile)
{
    if (m_services.cancelWarmUp)
        m_services.cancelWarmUp();
    setIsTranscribing(true);
    if (m_browserSession) {
        m_browserSession->phase = BrowserSession::Phase::transcribing;
        m_browserSession->emitEvent(BrowserBridgeEvent::transcribing(m_browserSession->id));
    }
    // Taken now: settings changed during the run apply to the next one.
    const WhisperConfiguration configuration = this->configuration();
    log(QStringLiteral("transcriptionStarted"), std::nullopt, QFileInfo(audioFile).fileName());

    const quint64 run = ++m_runCounter;
    m_transcriptionRun = run;
    // The vocabulary read at launch, or when this recording started, may still be on
    // its way: the prompt waits for it, a little.
    auto begun = std::make_shared<bool>(false);
    const auto begin = [this, run, audioFile, configuration, begun] {
        if (std::exchange(*begun, true))
            return;
        if (m_transcriptionRun != run)
            return removeFile(audioFile); // cancelled while waiting
        runSegment(run, audioFile, configuration);
    };
    if (!m_services.whenVocabularyCurrent)
        return begin();
    m_services.whenVocabularyCurrent(this, begin);
    QTimer::singleShot(m_services.vocabularyWait, this, begin);
}

void DictationController::runSegment(quint64 run, const QString& audioFile, const WhisperConfiguration& configuration)
{
    const QList<VocabularyEntry> vocabulary = m_vocabulary;
    const SegmentProducer produce = m_services.produceSegment;
    QPointer<DictationController> self(this);
    auto remove = m_services.removeFile;
    segmentPool().start([self, run, audioFile, configuration, vocabulary, produce, remove] {
        SegmentResult result = produce(audioFile, configuration, vocabulary);
        // The recording goes once its run has ended, whatever happens to the controller.
        if (remove)
            remove(audioFile);
        platform::postToMainThread([self, run, audioFile, result = std::move(result)] {
            if (self)
                self->finishTranscription(run, audioFile, result);
        });
    });
}

void DictationController::finishTranscription(quint64 run, const QString&, const SegmentResult& result)
{
    if (m_transcriptionRun != run)
        return; // cancelled: the state was reset then and stays as it is
    m_transcriptionRun.reset();
    if (const auto* error = std::get_if<WhisperTranscriberError>(&result)) {
        setIsTranscribing(false);
        setErrorMessage(error->description());
        setStatusMessage(QStringLiteral("Ready"));
        browserTranscriptionDidFail(error->description());
        log(QStringLiteral("transcriptionFailed"), std::nullopt, error->description());
        return;
    }
    // Corrected with the list as it is now: a change that arrived during the run counts.
    const QString text = VocabularyCorrector(m_vocabulary).apply(std::get<QString>(result));
    setTranscript(TranscriptFormatter::appending(m_transcript, text));
    setIsTranscribing(false);
    play(DictationSound::stop);
    const bool copied = autoCopyToClipboard();
    if (copied) {
        copyTranscript();
        setStatusMessage(QStringLiteral("Transcription complete · Copied"));
    } else {
        setStatusMessage(QStringLiteral("Transcription complete"));
    }
    const bool forBrowser = m_browserSession != nullptr;
    browserTranscriptionDidComplete(text);
    QPointer<DictationController> self(this);
    const auto afterInsert = [self, copied](bool pasted) {
        if (!self)
            return;
        if (pasted)
            self->setStatusMessage(copied ? QStringLiteral("Transcription complete · Inserted & copied")
                                          : QStringLiteral("Transcription complete · Inserted"));
        self->log(QStringLiteral("transcriptionCompleted"), std::nullopt);
        self->postTranscriptionCompletionNotification(copied);
        self->startAutoClearCountdown();
    };
    // A browser's text is never pasted into the window in front.
    if (forBrowser)
        afterInsert(false);
    else
        insertSegmentIfEnabled(text, afterInsert);
}

void DictationController::insertSegmentIfEnabled(const QString& text, std::function<void(bool)> done)
{
    DirectInsertContext context;
    context.isEnabled = directInsertEnabled();
    context.segment = text;
    context.hasPermission = m_services.canPostKeys && m_services.canPostKeys();
    context.ownPID = static_cast<qint32>(QCoreApplication::applicationPid());
    if (m_directInsertTarget) {
        context.targetPID = m_directInsertTarget->processId;
        context.targetWindow = m_directInsertTarget->window;
    }
    m_directInsertTarget.reset();
    if (const auto now = m_services.frontmost ? m_services.frontmost() : std::nullopt) {
        context.frontmostPID = now->processId;
        context.frontmostWindow = now->window;
    }
    context.ownAppHasFocus = m_services.ownFocus && m_services.ownFocus();

    const auto decision = DirectInsertPolicy::decide(context);
    if (decision == DirectInsertDecision::disabled)
        return done(false);
    const auto report = [this, decision](bool pasted, std::optional<InsertResult> result) {
        log(QStringLiteral("directInsert"), std::nullopt,
            pasted ? QStringLiteral("inserted") : QStringLiteral("skipped: ") + caseName(decision));
        if (decision == DirectInsertDecision::missingPermission)
            setStatusMessage(QStringLiteral("Not inserted · needs Accessibility access"));
        else if (decision == DirectInsertDecision::targetChanged)
            setStatusMessage(QStringLiteral("Not inserted · you switched apps"));
        else if (decision == DirectInsertDecision::paste && !pasted)
            setStatusMessage(QStringLiteral("Not inserted · ") + notInsertedReason(result));
    };
    if (decision != DirectInsertDecision::paste || !m_services.inserter) {
        report(false, std::nullopt);
        return done(false);
    }
    const PastedDictation here{context.frontmostWindow, context.frontmostPID, m_now()};
    QString pasteText = DirectInsertPolicy::pasteText(text);
    if (spaceBetweenDictations() && DirectInsertPolicy::continuesPrevious(m_lastPaste, here, pasteText))
        pasteText.prepend(QLatin1Char(' '));
    QPointer<DictationController> self(this);
    m_services.inserter->insert(pasteText, [self, report, done, here](InsertResult result) {
        if (!self)
            return;
        const bool pasted = result.outcome == InsertOutcome::inserted;
        if (pasted)
            self->m_lastPaste = here;
        report(pasted, result);
        done(pasted);
    });
}

void DictationController::cancelTranscription(const DictationActivationSource& source)
{
    if (!m_isTranscribing)
        return;
    log(QStringLiteral("cancelTranscriptionRequested"), source);
    m_transcriptionRun.reset();
    if (m_services.cancelRunningTool)
        m_services.cancelRunningTool();
    setIsTranscribing(false);
    setStatusMessage(QStringLiteral("Transcription canceled"));
    setErrorMessage({});
    browserTranscriptionWasCanceled();
    log(QStringLiteral("transcriptionCanceled"), source);
}

void DictationController::copyTranscript()
{
    if (m_services.clipboard)
        m_services.clipboard->writeText(m_transcript);
    setStatusMessage(QStringLiteral("Copied to clipboard"));
    setShowCopiedIndicator(true);
    // Overlapping copies each end with a clear; the first to end clears the flag.
    QTimer::singleShot(m_services.copyIndicatorTime, this, [this] { setShowCopiedIndicator(false); });
}

void DictationController::refreshVocabularyFromSync()
{
    if (m_services.refreshVocabulary)
        m_services.refreshVocabulary();
}

void DictationController::shutDown()
{
    m_autoClearTimer.stop();
    m_recordingTimer.stop();
    if (m_transcriptionRun) {
        m_transcriptionRun.reset();
        if (m_services.cancelRunningTool)
            m_services.cancelRunningTool();
    }
    if (m_services.cancelWarmUp)
        m_services.cancelWarmUp();
}

void DictationController::clearTranscript()
{
    cancelAutoClear();
    setTranscript({});
    setErrorMessage({});
    setElapsedSeconds(0);
    setStatusMessage(m_isRecording ? QStringLiteral("Recording...") : QStringLiteral("Ready"));
}

void DictationController::removeFile(const QString& path)
{
    if (m_services.removeFile)
        m_services.removeFile(path);
}

// ---- live dictation --------------------------------------------------------

void DictationController::startStreamRecording()
{
    setStatusMessage(QStringLiteral("Starting live transcription..."));
    const auto executable = m_services.streamExecutable ? m_services.streamExecutable() : std::nullopt;
    if (!executable || !m_services.stream) {
        setErrorMessage(QStringLiteral("whisper-stream not found in app bundle."));
        setStatusMessage(QStringLiteral("Ready"));
        return;
    }
    const auto device = m_services.captureDeviceIndex ? m_services.captureDeviceIndex(*executable) : std::nullopt;
    m_services.stream->start(*executable, m_modelPath, m_language, device);
    if (const auto error = m_services.stream->errorMessage()) {
        setErrorMessage(*error);
        setStatusMessage(QStringLiteral("Ready"));
        return;
    }
    if (m_services.cancelWarmUp)
        m_services.cancelWarmUp();
    const qint64 started = m_now();
    setElapsedSeconds(0);
    setIsRecording(true);
    setStatusMessage(QStringLiteral("Live transcribing..."));
    log(QStringLiteral("started"), std::nullopt);
    play(DictationSound::start);
    startTimer(started);
    m_streamBaseTranscript = m_transcript;
    if (m_services.refreshVocabulary)
        m_services.refreshVocabulary();
    // Taken now: vocabulary changes apply to the next session.
    m_streamCorrector = std::make_unique<VocabularyCorrector>(m_vocabulary);
    m_streamObservation = connect(m_services.stream, &WhisperStreamTranscriber::liveTextChanged, this, [this] {
        const QString live = m_services.stream->liveText();
        if (m_activeMode != DictationMode::stream || !m_isRecording || live.isEmpty())
            return;
        setTranscript(TranscriptFormatter::appending(m_streamBaseTranscript, m_streamCorrector->apply(live)));
    });
}

void DictationController::stopStreamRecording()
{
    disconnect(m_streamObservation);
    setIsRecording(false);
    setIsTranscribing(true);
    stopRecordingTimer();
    log(QStringLiteral("stopped"), std::nullopt);
    play(DictationSound::stop);
    setStatusMessage(QStringLiteral("Finishing live transcription..."));
    QPointer<DictationController> self(this);
    m_services.stream->stop([self] {
        if (!self)
            return;
        self->setIsTranscribing(false);
        self->finishStreamRecording();
    });
}

void DictationController::finishStreamRecording()
{
    const QString harvested = m_services.stream->harvestTranscript();
    const QString final = m_streamCorrector ? m_streamCorrector->apply(harvested) : harvested;
    if (!final.isEmpty())
        setTranscript(TranscriptFormatter::appending(m_streamBaseTranscript, final));
    if (const auto error = m_services.stream->errorMessage())
        setErrorMessage(*error);
    if (m_transcript.trimmed().isEmpty()) {
        setStatusMessage(QStringLiteral("Ready"));
        return;
    }
    const bool copied = autoCopyToClipboard();
    if (copied) {
        copyTranscript();
        setStatusMessage(QStringLiteral("Copied to clipboard"));
    } else {
        setStatusMessage(QStringLiteral("Ready"));
    }
    postTranscriptionCompletionNotification(copied);
}

// ---- browser sessions ------------------------------------------------------

namespace {

const DictationActivationSource browserSource = DictationActivationSource::unknown(QStringLiteral("browser"));

} // namespace

bool DictationController::startBrowserSession(const QString& id, Emit emitEvent)
{
    using Code = BrowserBridgeFailureCode;
    if (isBusy()) {
        emitEvent(BrowserBridgeEvent::failed(id, Code::busy, BrowserBridgeMessages::busy));
        return false;
    }
    if (mode() == DictationMode::stream) {
        emitEvent(BrowserBridgeEvent::failed(id, Code::liveMode, BrowserBridgeMessages::liveMode));
        return false;
    }
    if (!prepareStart(browserSource)) {
        const auto message = m_services.modelState ? m_services.modelState().unavailableMessage() : std::nullopt;
        emitEvent(BrowserBridgeEvent::failed(id, Code::modelUnavailable,
                                             message.value_or(BrowserBridgeMessages::modelNotReady)));
        return false;
    }
    m_browserSession = std::make_unique<BrowserSession>();
    m_browserSession->id = id;
    m_browserSession->emitEvent = std::move(emitEvent);
    startBatch();
    return true;
}

void DictationController::stopBrowserSession(const QString& id)
{
    if (!m_browserSession || m_browserSession->id != id || m_browserSession->cancelRequested)
        return;
    switch (m_browserSession->phase) {
    case BrowserSession::Phase::starting:
        m_browserSession->stopRequested = true;
        return;
    case BrowserSession::Phase::recording:
        stopRecording(browserSource);
        return;
    case BrowserSession::Phase::stopping:
    case BrowserSession::Phase::transcribing:
        return;
    }
}

void DictationController::cancelBrowserSession(const QString& id)
{
    if (!m_browserSession || m_browserSession->id != id || m_browserSession->cancelRequested)
        return;
    switch (m_browserSession->phase) {
    case BrowserSession::Phase::starting:
    case BrowserSession::Phase::stopping:
        m_browserSession->cancelRequested = true; // the recorder step under way finishes it
        return;
    case BrowserSession::Phase::recording:
        discardBrowserRecording();
        return;
    case BrowserSession::Phase::transcribing:
        cancelTranscription(browserSource);
        return;
    }
}

void DictationController::finishBrowserSession(const BrowserBridgeEvent& event)
{
    if (!m_browserSession || m_browserSession->id != event.session)
        return;
    const auto session = std::move(m_browserSession);
    session->emitEvent(event);
}

void DictationController::discardBrowserRecording()
{
    if (!m_browserSession || m_browserSession->isDiscarding)
        return;
    m_browserSession->isDiscarding = true;
    const QString id = m_browserSession->id;
    QPointer<DictationController> self(this);
    m_services.recorder->stopRecording([self, id](const DictationRecorder::Result& result) {
        if (!self)
            return;
        if (const auto* file = std::get_if<QString>(&result))
            self->removeFile(*file);
        self->setIsRecording(false);
        self->stopRecordingTimer();
        self->setStatusMessage(QStringLiteral("Ready"));
        self->finishBrowserSession(BrowserBridgeEvent::canceled(id));
    });
}

void DictationController::browserRecordingDidStart()
{
    if (!m_browserSession || m_browserSession->phase != BrowserSession::Phase::starting)
        return;
    m_browserSession->phase = BrowserSession::Phase::recording;
    m_browserSession->emitEvent(BrowserBridgeEvent::recording(m_browserSession->id));
    if (m_browserSession->stopRequested)
        stopRecording(browserSource);
}

void DictationController::browserRecordingDidFailToStart(const AudioRecorderError& error)
{
    if (!m_browserSession)
        return;
    if (m_browserSession->cancelRequested) {
        const auto session = std::move(m_browserSession);
        session->emitEvent(BrowserBridgeEvent::canceled(session->id));
        return;
    }
    const auto code = error.kind() == AudioRecorderError::Kind::permissionDenied ? BrowserBridgeFailureCode::microphoneDenied
                                                                                 : BrowserBridgeFailureCode::internal;
    finishBrowserSession(BrowserBridgeEvent::failed(m_browserSession->id, code, error.description()));
}

bool DictationController::discardCanceledBrowserStart(const QString& file)
{
    if (!m_browserSession || !m_browserSession->cancelRequested)
        return false;
    m_browserSession->isDiscarding = true;
    const QString id = m_browserSession->id;
    QPointer<DictationController> self(this);
    m_services.recorder->stopRecording([self, id, file](const DictationRecorder::Result& result) {
        if (!self)
            return;
        if (const auto* stopped = std::get_if<QString>(&result))
            self->removeFile(*stopped);
        if (std::get_if<QString>(&result) == nullptr || std::get<QString>(result) != file)
            self->removeFile(file);
        self->setStatusMessage(QStringLiteral("Ready"));
        self->finishBrowserSession(BrowserBridgeEvent::canceled(id));
    });
    return true;
}

bool DictationController::discardStoppedBrowserAudioIfCanceled(const QString& file)
{
    if (!m_browserSession || !m_browserSession->cancelRequested)
        return false;
    removeFile(file);
    stopRecordingTimer();
    setStatusMessage(QStringLiteral("Ready"));
    finishBrowserSession(BrowserBridgeEvent::canceled(m_browserSession->id));
    return true;
}

void DictationController::browserRecordingDidFailToStop(const AudioRecorderError& error)
{
    if (!m_browserSession)
        return;
    // With a session the dictation ends here; a local one could stop again.
    setIsRecording(false);
    stopRecordingTimer();
    finishBrowserSession(BrowserBridgeEvent::failed(m_browserSession->id, BrowserBridgeFailureCode::internal,
                                                    error.description()));
}

void DictationController::browserTranscriptionDidComplete(const QString& segment)
{
    if (!m_browserSession)
        return;
    m_directInsertTarget.reset();
    const QString text = BrowserBridge::capped(DirectInsertPolicy::pasteText(segment), 20000);
    const QString id = m_browserSession->id;
    finishBrowserSession(text.isEmpty() ? BrowserBridgeEvent::empty(id) : BrowserBridgeEvent::completed(id, text));
}

void DictationController::browserTranscriptionDidFail(const QString& message)
{
    if (m_browserSession)
        finishBrowserSession(BrowserBridgeEvent::failed(m_browserSession->id, BrowserBridgeFailureCode::internal, message));
}

void DictationController::browserTranscriptionWasCanceled()
{
    if (!m_browserSession)
        return;
    const auto session = std::move(m_browserSession);
    session->emitEvent(BrowserBridgeEvent::canceled(session->id));
}

// ---- model gate and runtime ------------------------------------------------

bool DictationController::usesDownloadedModel() const
{
    return !m_services.managedModelPath.isEmpty() && m_modelPath.trimmed() == m_services.managedModelPath;
}

void DictationController::restoreRuntimeIfNeeded()
{
    if (!m_services.restoredRuntime)
        return;
    const WhisperConfiguration restored = m_services.restoredRuntime(configuration());
    if (restored.executablePath == m_executablePath && restored.modelPath == m_modelPath)
        return;
    setExecutablePath(restored.executablePath);
    setModelPath(restored.modelPath);
    ConfigurationStore::save(configuration(), *m_services.defaults);
    setErrorMessage({});
}

bool DictationController::ensureModelAvailable(const DictationActivationSource& source)
{
    if (!usesDownloadedModel() || !m_services.modelState)
        return true;
    if (m_services.modelState().kind == WhisperModelState::Kind::ready)
        return true;
    if (m_services.modelState().kind == WhisperModelState::Kind::missing && m_services.downloadModel)
        m_services.downloadModel();
    const QString message = m_services.modelState().unavailableMessage().value_or(QString());
    log(QStringLiteral("startFailed"), source, message);
    if (m_services.notices)
        m_services.notices->notifyModelUnavailable(message);
    return false;
}

void DictationController::startWhisperWarmUp()
{
    if (!m_services.startWarmUpOnce)
        return;
    disconnect(m_warmUpModelObservation);
    const auto ready = [this] {
        return !m_services.modelState || m_services.modelState().kind == WhisperModelState::Kind::ready;
    };
    if (!usesDownloadedModel() || ready()) {
        m_services.startWarmUpOnce(configuration());
        return;
    }
    if (!m_services.onModelStateChanged)
        return;
    // The first time the managed model is ready, with the configuration of that moment.
    m_warmUpModelObservation = m_services.onModelStateChanged(this, [this, ready] {
        if (!ready())
            return;
        disconnect(m_warmUpModelObservation);
        m_services.startWarmUpOnce(configuration());
    });
}

// ---- timers, warnings, notices ---------------------------------------------

void DictationController::startTimer(qint64 startedAtMs)
{
    m_recordingTimer.stop();
    m_firedDurationWarnings.clear();
    m_recordingStartedAtMs = startedAtMs;
    m_recordingTimer.start();
}

void DictationController::stopRecordingTimer()
{
    m_recordingTimer.stop();
}

void DictationController::checkDurationWarnings()
{
    if (!durationWarningsEnabled() || !m_isRecording)
        return;
    const qint64 minutes = static_cast<qint64>(m_elapsedSeconds) / 60;
    for (const int threshold : durationWarningThresholds) {
        if (minutes < threshold || m_firedDurationWarnings.contains(threshold))
            continue;
        m_firedDurationWarnings.insert(threshold);
        play(DictationSound::stop);
        if (m_services.notices)
            m_services.notices->notifyRecordingDuration(threshold);
    }
}

void DictationController::cancelAutoClear()
{
    m_autoClearTimer.stop();
    m_autoClearDeadlineMs.reset();
    setAutoClearRemaining(0);
}

void DictationController::startAutoClearCountdown()
{
    cancelAutoClear();
    if (!autoClearTranscript() || m_isRecording || m_isTranscribing || m_transcript.trimmed().isEmpty())
        return;
    const qint64 delay = std::max<qint64>(1, autoClearDelay());
    m_autoClearDeadlineMs = m_now() + delay * 1000;
    setAutoClearRemaining(static_cast<int>(delay));
    m_autoClearTimer.start();
}

void DictationController::refreshNotificationAuthorizationIfNeeded()
{
    if (notifyOnTranscriptionComplete())
        requestNotificationAuthorizationFromSettingsToggle();
}

void DictationController::requestNotificationAuthorizationFromSettingsToggle()
{
    if (!m_services.notices)
        return;
    QPointer<DictationController> self(this);
    auto* notices = m_services.notices;
    notices->ensureAuthorizationForPreferenceEnable([self, notices](NotificationAuthorizationOutcome outcome) {
        if (!self)
            return;
        using Kind = NotificationAuthorizationOutcome::Kind;
        switch (outcome.kind) {
        case Kind::authorized:
            self->m_didShowNotificationFailureHint = false;
            self->clearNotificationErrorIfPresent();
            notices->notifyPermissionEnabledProbe([self](bool delivered) {
                if (self && !delivered)
                    self->setErrorMessage(QStringLiteral("Notifications are enabled, but a test notification could "
                                                         "not be delivered. Check your desktop's notification settings."));
            });
            return;
        case Kind::denied:
            self->setErrorMessage(
                QStringLiteral("Notifications are unavailable: no notification service is running on this desktop."));
            return;
        case Kind::failed:
            self->setErrorMessage(QStringLiteral("Failed to request notification permission: ") + outcome.message);
            return;
        }
    });
}

void DictationController::clearNotificationErrorIfPresent()
{
    if (m_errorMessage.contains(QLatin1String("notification"), Qt::CaseInsensitive))
        setErrorMessage({});
}

void DictationController::postTranscriptionCompletionNotification(bool wasCopiedToClipboard)
{
    if (!notifyOnTranscriptionComplete() || !m_services.notices)
        return;
    QPointer<DictationController> self(this);
    m_services.notices->notifyTranscriptionCompleted(wasCopiedToClipboard, [self](bool delivered) {
        if (!self || delivered || self->m_didShowNotificationFailureHint)
            return;
        self->m_didShowNotificationFailureHint = true;
        self->setErrorMessage(QStringLiteral(
            "Notification could not be delivered. Check that your desktop's notification service is running."));
    });
}

} // namespace velmora
