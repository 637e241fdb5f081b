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

#include <algorithm>
#include <cmath>

namespace velmora {
namespace {

// Why a paste that was allowed did not happen, in the status line's words. A
// clipboard that could not be saved is the classic reason; on X11 the keys
// themselves can fail too, and saying "clipboard" then would be wrong.
QString notInsertedReason(const std::optional<InsertResult>& result)
{
    if (result && result->outcome == InsertOutcome::targetChanged)
        return QStringLiteral("you switched apps");
    if (result && result->outcome == InsertOutcome::clipboardChanged)
        return QStringLiteral("you copied something meanwhile");
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
    // Sessions go first: ending one stops its run, and no callback of theirs outlives this.
    m_session.reset();
    m_delivering.clear();
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

// ---- sessions ---------------------------------------------------------------

DictationSession& DictationController::beginSession(Session::Kind kind)
{
    m_session = std::make_unique<Session>(kind, ++m_sessionCount, m_services.removeFile);
    Session& session = *m_session;
    session.recordingTimer.setInterval(m_services.recordingTick);
    const auto tick = session.bind([this](Session& s) {
        setElapsedSeconds(double(m_now() - s.startedAtMs) / 1000.0);
        checkDurationWarnings(s);
    });
    connect(&session.recordingTimer, &QTimer::timeout, &session, [tick] { tick(); });
    return session;
}

void DictationController::endSession(Session& session, Ending ending)
{
    if (session.hasEnded())
        return;
    const Emit emitEvent = session.browser ? session.browser->emitEvent : Emit{};
    session.end();
    std::unique_ptr<Session> owned;
    if (m_session.get() == &session) {
        owned = std::move(m_session);
    } else {
        const auto it = std::find_if(m_delivering.begin(), m_delivering.end(),
                                     [&](const auto& s) { return s.get() == &session; });
        if (it != m_delivering.end()) {
            owned = std::move(*it);
            m_delivering.erase(it);
        }
    }
    publishPhase();
    // Its last lines go once it no longer records, and before the browser hears of
    // it: the receiver may start anew, and that start's lines are the ones that stay.
    if (isNewest(session)) {
        if (ending.status)
            setStatusMessage(*ending.status);
        if (ending.error)
            setErrorMessage(*ending.error);
    }
    // Its own callbacks may be what ended it: the object goes once they returned.
    if (owned)
        owned.release()->deleteLater();
    if (ending.event && emitEvent)
        emitEvent(*ending.event);
    emit dictationEnded();
}

void DictationController::setPhase(Session& session, Phase phase)
{
    session.setPhase(phase);
    if (phase == Phase::delivering && m_session.get() == &session)
        m_delivering.push_back(std::move(m_session)); // the next dictation may start now
    if (m_session.get() == &session || phase == Phase::delivering)
        publishPhase();
}

void DictationController::publishPhase()
{
    // Only the current dictation records or transcribes; one that is pasting does neither.
    const auto phase = m_session ? std::optional(m_session->phase()) : std::nullopt;
    setIsRecording(phase == Phase::recording || phase == Phase::stopping);
    setIsTranscribing(phase == Phase::transcribing);
}

void DictationController::statusFor(const Session& session, const QString& text)
{
    if (isNewest(session))
        setStatusMessage(text);
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
    if (m_session) {
        log(QStringLiteral("startIgnored"), source);
        return;
    }
    if (!prepareStart(source))
        return;
    if (mode() == DictationMode::stream)
        return startStreamRecording();
    startBatch(beginSession(Session::Kind::batch));
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

void DictationController::startBatch(Session& session)
{
    setStatusMessage(QStringLiteral("Requesting microphone..."));
    // A tray application is never "activated": a change made on another computer is
    // looked for now, so it is in place by the stop.
    if (m_services.refreshVocabulary)
        m_services.refreshVocabulary();
    const auto device = m_services.captureDevice ? m_services.captureDevice() : std::nullopt;
    m_services.recorder->startRecording(
        device, session.bind([this](Session& s, const DictationRecorder::Result& result) { recorderStarted(s, result); }));
}

void DictationController::recorderStarted(Session& session, const DictationRecorder::Result& result)
{
    if (const auto* error = std::get_if<AudioRecorderError>(&result)) {
        log(QStringLiteral("startFailed"), std::nullopt, error->description());
        std::optional<BrowserBridgeEvent> last;
        if (session.browser && session.browser->cancelRequested)
            last = BrowserBridgeEvent::canceled(session.browser->id);
        else if (session.browser)
            last = BrowserBridgeEvent::failed(session.browser->id,
                                              error->kind() == AudioRecorderError::Kind::permissionDenied
                                                  ? BrowserBridgeFailureCode::microphoneDenied
                                                  : BrowserBridgeFailureCode::internal,
                                              error->description());
        return endSession(session, {QStringLiteral("Ready"), error->description(), last});
    }
    session.keepFile(std::get<QString>(result));
    if (session.browser && session.browser->cancelRequested) {
        // Cancelled while the microphone opened: stop it, and the stop ends the session.
        setPhase(session, Phase::stopping);
        stopRecorder(session);
        return;
    }
    recordingBegan(session, QStringLiteral("Recording..."));
    if (session.browser) {
        session.browser->emitEvent(BrowserBridgeEvent::recording(session.browser->id));
        if (session.browser->stopRequested)
            stopRecording(DictationActivationSource::unknown(QStringLiteral("browser")));
    }
}

void DictationController::recordingBegan(Session& session, const QString& status)
{
    setElapsedSeconds(0);
    setPhase(session, Phase::recording);
    setStatusMessage(status);
    log(QStringLiteral("started"), std::nullopt);
    play(DictationSound::start);
    startTimer(session);
}

void DictationController::stopRecorder(Session& session)
{
    m_services.recorder->stopRecording(
        session.bind([this](Session& s, const DictationRecorder::Result& result) { recorderStopped(s, result); }));
}

void DictationController::stopRecording(const DictationActivationSource& source)
{
    if (!m_session || m_session->phase() != Phase::recording)
        return;
    log(QStringLiteral("stopRequested"), source);
    // The kind the session started as decides, not the preference as it is now.
    if (m_session->kind() == Session::Kind::live)
        stopStreamRecording(*m_session);
    else
        stopBatchRecording(*m_session);
}

void DictationController::stopBatchRecording(Session& session)
{
    setPhase(session, Phase::stopping);
    // The window in front now is where the text goes, if it is still in front then;
    // a browser's text goes to the browser.
    if (!session.browser)
        session.target = m_services.frontmost ? m_services.frontmost() : std::nullopt;
    stopRecorder(session);
}

void DictationController::recorderStopped(Session& session, const DictationRecorder::Result& result)
{
    session.recordingTimer.stop();
    const bool canceled = session.browser && session.browser->cancelRequested;
    if (const auto* error = std::get_if<AudioRecorderError>(&result)) {
        // The recorder has let go of the recording: nothing is left to stop, so the
        // dictation ends here rather than asking for a stop that cannot work.
        log(QStringLiteral("stopFailed"), std::nullopt, error->description());
        std::optional<BrowserBridgeEvent> last;
        if (session.browser)
            last = canceled ? BrowserBridgeEvent::canceled(session.browser->id)
                            : BrowserBridgeEvent::failed(session.browser->id, BrowserBridgeFailureCode::internal,
                                                         error->description());
        return endSession(session, {QStringLiteral("Ready"),
                                    canceled ? std::nullopt : std::optional(error->description()), last});
    }
    const QString file = std::get<QString>(result);
    if (canceled) {
        session.keepFile(file);
        return endSession(session, {QStringLiteral("Ready"), std::nullopt, BrowserBridgeEvent::canceled(session.browser->id)});
    }
    // The finished file is what the recording became.
    for (const QString& recorded : session.files())
        session.releaseFile(recorded);
    session.keepFile(file);
    setPhase(session, Phase::transcribing);
    log(QStringLiteral("stopped"), std::nullopt);
    play(DictationSound::stop);
    setStatusMessage(QStringLiteral("Transcribing..."));
    transcribe(session, file);
}

void DictationController::transcribe(Session& session, const QString& audioFile)
{
    if (m_services.cancelWarmUp)
        m_services.cancelWarmUp();
    setPhase(session, Phase::transcribing);
    if (session.browser)
        session.browser->emitEvent(BrowserBridgeEvent::transcribing(session.browser->id));
    // Taken now: settings changed during the run apply to the next one.
    const WhisperConfiguration configuration = this->configuration();
    log(QStringLiteral("transcriptionStarted"), std::nullopt, QFileInfo(audioFile).fileName());
    // The vocabulary read at launch, or when this recording started, may still be on
    // its way: the prompt waits for it, a little.
    auto begun = std::make_shared<bool>(false);
    const auto begin = session.bind([this, audioFile, configuration, begun](Session& s) {
        if (!std::exchange(*begun, true))
            runSegment(s, audioFile, configuration);
    });
    if (!m_services.whenVocabularyCurrent)
        return begin();
    m_services.whenVocabularyCurrent(&session, begin);
    QTimer::singleShot(m_services.vocabularyWait, &session, begin);
}

void DictationController::runSegment(Session& session, const QString& audioFile, const WhisperConfiguration& configuration)
{
    const QList<VocabularyEntry> vocabulary = m_vocabulary;
    const SegmentProducer produce = m_services.produceSegment;
    const std::shared_ptr<RunCancellation> cancellation = session.run();
    auto remove = m_services.removeFile;
    auto done = session.bind([this](Session& s, const SegmentResult& result) { finishTranscription(s, result); });
    session.releaseFile(audioFile);
    segmentPool().start([cancellation, audioFile, configuration, vocabulary, produce, remove, done] {
        // A cancel that came while the run waited for the pool: the tool never starts.
        SegmentResult result = cancellation->isCancelled() ? SegmentResult(WhisperTranscriberError::cancelled())
                                                           : produce(audioFile, configuration, vocabulary, cancellation);
        // The recording goes once its run has ended, whatever happened to its session.
        if (remove)
            remove(audioFile);
        platform::postToMainThread([done, result = std::move(result)] { done(result); });
    });
}

void DictationController::finishTranscription(Session& session, const SegmentResult& result)
{
    if (const auto* error = std::get_if<WhisperTranscriberError>(&result)) {
        log(QStringLiteral("transcriptionFailed"), std::nullopt, error->description());
        return endSession(session, {QStringLiteral("Ready"), error->description(),
                                    session.browser ? std::optional(BrowserBridgeEvent::failed(
                                                          session.browser->id, BrowserBridgeFailureCode::internal,
                                                          error->description()))
                                                    : std::nullopt});
    }
    // Corrected with the list as it is now: a change that arrived during the run counts.
    const QString text = VocabularyCorrector(m_vocabulary).apply(std::get<QString>(result));
    setTranscript(TranscriptFormatter::appending(m_transcript, text));
    setPhase(session, Phase::delivering);
    play(DictationSound::stop);
    const bool copied = autoCopyToClipboard();
    if (copied) {
        copyTranscript();
        setStatusMessage(QStringLiteral("Transcription complete · Copied"));
    } else {
        setStatusMessage(QStringLiteral("Transcription complete"));
    }
    const auto afterInsert = [this, copied](Session& s, bool pasted) {
        if (pasted)
            statusFor(s, copied ? QStringLiteral("Transcription complete · Inserted & copied")
                                : QStringLiteral("Transcription complete · Inserted"));
        log(QStringLiteral("transcriptionCompleted"), std::nullopt);
        postTranscriptionCompletionNotification(copied);
        if (isNewest(s))
            startAutoClearCountdown();
        endSession(s);
    };
    // A browser's text is never pasted into the window in front.
    if (session.browser) {
        const QString pasted = BrowserBridge::capped(DirectInsertPolicy::pasteText(text), 20000);
        const QString id = session.browser->id;
        log(QStringLiteral("transcriptionCompleted"), std::nullopt);
        postTranscriptionCompletionNotification(copied);
        startAutoClearCountdown();
        return endSession(session, {std::nullopt, std::nullopt,
                                    pasted.isEmpty() ? BrowserBridgeEvent::empty(id) : BrowserBridgeEvent::completed(id, pasted)});
    }
    insertSegmentIfEnabled(session, text, afterInsert);
}

void DictationController::insertSegmentIfEnabled(Session& session, const QString& text,
                                                  std::function<void(Session&, bool)> done)
{
    DirectInsertContext context;
    context.isEnabled = directInsertEnabled();
    context.segment = text;
    context.hasPermission = m_services.canPostKeys && m_services.canPostKeys();
    context.ownPID = static_cast<qint32>(QCoreApplication::applicationPid());
    if (session.target) {
        context.targetPID = session.target->processId;
        context.targetWindow = session.target->window;
    }
    if (const auto now = m_services.frontmost ? m_services.frontmost() : std::nullopt) {
        context.frontmostPID = now->processId;
        context.frontmostWindow = now->window;
    }
    context.ownAppHasFocus = m_services.ownFocus && m_services.ownFocus();

    const auto decision = DirectInsertPolicy::decide(context);
    if (decision == DirectInsertDecision::disabled)
        return done(session, false);
    const auto report = [this, decision](const Session& s, bool pasted, std::optional<InsertResult> result) {
        log(QStringLiteral("directInsert"), std::nullopt,
            pasted ? QStringLiteral("inserted") : QStringLiteral("skipped: ") + caseName(decision));
        if (decision == DirectInsertDecision::missingPermission)
            statusFor(s, QStringLiteral("Not inserted · needs Accessibility access"));
        else if (decision == DirectInsertDecision::targetChanged)
            statusFor(s, QStringLiteral("Not inserted · you switched apps"));
        else if (decision == DirectInsertDecision::paste && !pasted)
            statusFor(s, QStringLiteral("Not inserted · ") + notInsertedReason(result));
    };
    if (decision != DirectInsertDecision::paste || !m_services.inserter) {
        report(session, false, std::nullopt);
        return done(session, false);
    }
    const PastedDictation here{context.frontmostWindow, context.frontmostPID, m_now()};
    QString pasteText = DirectInsertPolicy::pasteText(text);
    if (spaceBetweenDictations() && DirectInsertPolicy::continuesPrevious(m_lastPaste, here, pasteText))
        pasteText.prepend(QLatin1Char(' '));
    // The inserter checks again, right before the keys go, that this window is still in front.
    m_services.inserter->insert(pasteText, context.frontmostWindow,
                                session.bind([this, report, done, here](Session& s, InsertResult result) {
                                    const bool pasted = result.outcome == InsertOutcome::inserted;
                                    if (pasted)
                                        m_lastPaste = here;
                                    report(s, pasted, result);
                                    done(s, pasted);
                                }));
}

void DictationController::cancelTranscription(const DictationActivationSource& source)
{
    if (!m_session || m_session->phase() != Phase::transcribing)
        return;
    log(QStringLiteral("cancelTranscriptionRequested"), source);
    Session& session = *m_session;
    // Ending it stops its run, queued or started, and its live tool.
    endSession(session, {QStringLiteral("Transcription canceled"), QString(),
                         session.browser ? std::optional(BrowserBridgeEvent::canceled(session.browser->id))
                                         : std::nullopt});
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
    if (m_session)
        endSession(*m_session, {std::nullopt, std::nullopt,
                                m_session->browser ? std::optional(BrowserBridgeEvent::canceled(m_session->browser->id))
                                                   : std::nullopt});
    while (!m_delivering.empty())
        endSession(*m_delivering.front());
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
    if (!executable || !m_services.makeStream) {
        setErrorMessage(QStringLiteral("whisper-stream not found in app bundle."));
        setStatusMessage(QStringLiteral("Ready"));
        return;
    }
    Session& session = beginSession(Session::Kind::live);
    session.stream = m_services.makeStream();
    const auto device = m_services.captureDeviceIndex ? m_services.captureDeviceIndex(*executable) : std::nullopt;
    session.stream->start(*executable, m_modelPath, m_language, device);
    if (const auto error = session.stream->errorMessage())
        return endSession(session, {QStringLiteral("Ready"), *error});
    if (m_services.cancelWarmUp)
        m_services.cancelWarmUp();
    recordingBegan(session, QStringLiteral("Live transcribing..."));
    session.baseTranscript = m_transcript;
    if (m_services.refreshVocabulary)
        m_services.refreshVocabulary();
    // Taken now: vocabulary changes apply to the next session.
    session.corrector = std::make_unique<VocabularyCorrector>(m_vocabulary);
    const auto show = session.bind([this](Session& s) {
        const QString live = s.stream->liveText();
        if (s.phase() != Phase::recording || live.isEmpty())
            return;
        setTranscript(TranscriptFormatter::appending(s.baseTranscript, s.corrector->apply(live)));
    });
    connect(session.stream.get(), &WhisperStreamTranscriber::liveTextChanged, &session, [show] { show(); });
}

void DictationController::stopStreamRecording(Session& session)
{
    setPhase(session, Phase::transcribing);
    session.recordingTimer.stop();
    log(QStringLiteral("stopped"), std::nullopt);
    play(DictationSound::stop);
    setStatusMessage(QStringLiteral("Finishing live transcription..."));
    session.stream->stop(session.bind([this](Session& s) { finishStreamRecording(s); }));
}

void DictationController::finishStreamRecording(Session& session)
{
    const QString harvested = session.stream->harvestTranscript();
    const QString final = session.corrector->apply(harvested);
    if (!final.isEmpty())
        setTranscript(TranscriptFormatter::appending(session.baseTranscript, final));
    const auto error = session.stream->errorMessage();
    endSession(session);
    if (error)
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

DictationSession* DictationController::browserSession(const QString& id) const
{
    if (!m_session || !m_session->browser || m_session->browser->id != id || m_session->browser->cancelRequested)
        return nullptr;
    return m_session.get();
}

bool DictationController::startBrowserSession(const QString& id, Emit emitEvent)
{
    using Code = BrowserBridgeFailureCode;
    if (m_session) {
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
    Session& session = beginSession(Session::Kind::browser);
    session.browser = Session::Browser{id, std::move(emitEvent)};
    startBatch(session);
    return true;
}

void DictationController::stopBrowserSession(const QString& id)
{
    Session* session = browserSession(id);
    if (!session)
        return;
    if (session->phase() == Phase::starting)
        session->browser->stopRequested = true;
    else if (session->phase() == Phase::recording)
        stopRecording(browserSource);
}

void DictationController::cancelBrowserSession(const QString& id)
{
    Session* session = browserSession(id);
    if (!session)
        return;
    switch (session->phase()) {
    case Phase::starting:
    case Phase::stopping:
        session->browser->cancelRequested = true; // the recorder step under way ends it
        return;
    case Phase::recording:
        session->browser->cancelRequested = true;
        setPhase(*session, Phase::stopping);
        stopRecorder(*session);
        return;
    case Phase::transcribing:
        cancelTranscription(browserSource);
        return;
    case Phase::delivering:
        return;
    }
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

void DictationController::startTimer(Session& session)
{
    session.firedDurationWarnings.clear();
    session.startedAtMs = m_now();
    session.recordingTimer.start();
}

void DictationController::checkDurationWarnings(Session& session)
{
    if (!durationWarningsEnabled() || session.phase() != Phase::recording)
        return;
    const qint64 minutes = static_cast<qint64>(m_elapsedSeconds) / 60;
    for (const int threshold : durationWarningThresholds) {
        if (minutes < threshold || session.firedDurationWarnings.contains(threshold))
            continue;
        session.firedDurationWarnings.insert(threshold);
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
