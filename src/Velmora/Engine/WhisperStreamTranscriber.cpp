#include "WhisperStreamTranscriber.h"

#include "Text/TextNormalization.h"

#include "Platform/FileProbe.h"
#include "Platform/Linux/ChildProcess.h"
#include "Platform/Linux/FileDescriptor.h"

#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>

namespace velmora {

namespace {

const QRegularExpression& ansiRegex()
{
    static const QRegularExpression expression(QStringLiteral("\\x1B\\[[0-9;]*[A-Za-z]"));
    return expression;
}

const QStringList droppedPrefixes{QStringLiteral("[Start speaking]"), QStringLiteral("[silence]"),
                                  QStringLiteral("whisper_"), QStringLiteral("ggml_")};

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

void closeReader(QSocketNotifier*& notifier, platform::FileDescriptor& fd)
{
    if (notifier) {
        notifier->setEnabled(false);
        notifier->deleteLater();
        notifier = nullptr;
    }
    fd.reset();
}

} // namespace

WhisperStreamTranscriber::WhisperStreamTranscriber(QObject* parent)
    : WhisperStreamTranscriber(Timing{}, parent)
{
}

WhisperStreamTranscriber::WhisperStreamTranscriber(Timing timing, QObject* parent)
    : QObject(parent)
    , m_timing(timing)
{
}

WhisperStreamTranscriber::~WhisperStreamTranscriber()
{
    removeReaders();
    // The child process object kills and reaps a tool that is still running.
}

const QSet<QString>& WhisperStreamTranscriber::hallucinations()
{
    static const QSet<QString> phrases{
        // English
        QStringLiteral("thank you"), QStringLiteral("thanks"), QStringLiteral("thanks for watching"),
        QStringLiteral("thank you for watching"), QStringLiteral("thanks for listening"), QStringLiteral("bye"),
        QStringLiteral("goodbye"), QStringLiteral("see you next time"), QStringLiteral("subscribe"),
        QStringLiteral("like and subscribe"), QStringLiteral("you"), QStringLiteral("i'll see you in the next video"),
        // German
        QStringLiteral("danke"), QStringLiteral("danke schön"), QStringLiteral("dankeschön"),
        QStringLiteral("vielen dank"), QStringLiteral("tschüss"), QStringLiteral("auf wiedersehen"),
        QStringLiteral("bis zum nächsten mal"), QStringLiteral("untertitel von quenbrodt"),
        QStringLiteral("untertitelung des zdf"),
        // French
        QStringLiteral("merci"), QStringLiteral("merci beaucoup"), QStringLiteral("merci d'avoir regardé"),
        QStringLiteral("au revoir"), QStringLiteral("à bientôt"), QStringLiteral("à la prochaine"),
        QStringLiteral("sous-titres réalisés par la communauté d'amara.org"),
        // Spanish
        QStringLiteral("gracias"), QStringLiteral("muchas gracias"), QStringLiteral("gracias por ver"),
        QStringLiteral("adiós"), QStringLiteral("hasta luego"), QStringLiteral("hasta la próxima"),
        // Italian
        QStringLiteral("grazie"), QStringLiteral("grazie mille"), QStringLiteral("grazie per la visione"),
        QStringLiteral("arrivederci"), QStringLiteral("ciao"), QStringLiteral("alla prossima"),
        // Portuguese
        QStringLiteral("obrigado"), QStringLiteral("obrigada"), QStringLiteral("muito obrigado"),
        QStringLiteral("tchau"), QStringLiteral("até logo"), QStringLiteral("até a próxima"),
        // Japanese
        QStringLiteral("ありがとうございます"), QStringLiteral("ありがとう"), QStringLiteral("さようなら"),
        // Chinese
        QStringLiteral("谢谢"), QStringLiteral("谢谢观看"), QStringLiteral("再见"),
    };
    return phrases;
}

QStringList WhisperStreamTranscriber::arguments(const QString& modelPath, const QString& language,
                                                std::optional<int> captureDeviceID)
{
    QStringList arguments{QStringLiteral("-m"),         modelPath,
                          QStringLiteral("-l"),         language.isEmpty() ? QStringLiteral("auto") : language,
                          QStringLiteral("--step"),     QStringLiteral("2000"),
                          QStringLiteral("--length"),   QStringLiteral("5000"),
                          QStringLiteral("--keep"),     QStringLiteral("250"),
                          QStringLiteral("-t"),         QStringLiteral("4"),
                          QStringLiteral("--vad-thold"), QStringLiteral("0.8")};
    if (captureDeviceID)
        arguments << QStringLiteral("--capture") << QString::number(*captureDeviceID);
    return arguments;
}

QStringList WhisperStreamTranscriber::environment(const QString& executablePath, const QStringList& inherited)
{
    const QString folder = QFileInfo(executablePath).absolutePath();
    QString inheritedPath;
    QStringList result;
    for (const QString& entry : inherited) {
        if (entry.startsWith(QLatin1String("LD_LIBRARY_PATH=")))
            inheritedPath = entry.mid(16);
        else
            result << entry;
    }
    result << QStringLiteral("LD_LIBRARY_PATH=") + folder
                  + (inheritedPath.isEmpty() ? QString() : QLatin1Char(':') + inheritedPath);
    return result;
}

QString WhisperStreamTranscriber::extractLatestSegment(const QString& text)
{
    const QStringList pieces = text.split(QLatin1Char('\r'));
    QString piece;
    for (auto it = pieces.crbegin(); it != pieces.crend(); ++it) {
        if (!isBlank(*it)) {
            piece = it->trimmed();
            break;
        }
    }
    if (piece.isEmpty())
        return {};
    for (const QString& prefix : droppedPrefixes) {
        if (piece.startsWith(prefix))
            return {};
    }
    if (hallucinations().contains(TextNormalization::comparable(piece)))
        return {};
    return piece;
}

QString WhisperStreamTranscriber::mergeOverlapping(const QString& existing, const QString& incoming)
{
    const QStringList before = existing.split(QLatin1Char(' '));
    const QStringList after = incoming.split(QLatin1Char(' '));
    for (qsizetype k = std::min(before.size(), after.size()); k >= 1; --k) {
        if (before.mid(before.size() - k) == after.mid(0, k)) {
            if (after.size() == k)
                return existing;
            return existing + QLatin1Char(' ') + after.mid(k).join(QLatin1Char(' '));
        }
    }
    return existing + QLatin1Char(' ') + incoming;
}

void WhisperStreamTranscriber::start(const QString& executablePath, const QString& modelPath,
                                     const QString& language, std::optional<int> captureDeviceID)
{
    if (m_isRunning) {
        // Never a second tool beside the first, and never a start that looks like one.
        setErrorMessage(QStringLiteral("whisper-stream is still running."));
        return;
    }
    const auto& probe = platform::FileProbe::system();
    if (!probe.isExecutableFile(executablePath)) {
        setErrorMessage(QStringLiteral("whisper-stream not found at: ") + executablePath);
        return;
    }
    if (!probe.exists(modelPath)) {
        setErrorMessage(QStringLiteral("Model not found: ") + modelPath);
        return;
    }
    setLiveText(QString());
    setErrorMessage(std::nullopt);

    platform::ChildProcess::Options options;
    options.program = executablePath;
    options.arguments = arguments(modelPath, language, captureDeviceID);
    options.environment = environment(executablePath, QProcessEnvironment::systemEnvironment().toStringList());
    options.standardOutput = platform::ChildProcess::Output::pipe;
    options.standardError = platform::ChildProcess::Output::pipe;
    m_decoder = UTF8StreamDecoder();
    m_segmentTail.clear();

    auto spawned = platform::ChildProcess::spawn(options);
    if (const auto* error = std::get_if<platform::SystemError>(&spawned)) {
        setErrorMessage(QStringLiteral("Failed to start whisper-stream: ") + error->description());
        return;
    }
    removeReaders();
    ++m_session;
    m_process = std::move(std::get<std::unique_ptr<platform::ChildProcess>>(spawned));

    m_stdoutFd.reset(m_process->takeStandardOutput());
    m_stderrFd.reset(m_process->takeStandardError());
    platform::ChildProcess::makeNonBlocking(m_stdoutFd.get());
    platform::ChildProcess::makeNonBlocking(m_stderrFd.get());
    m_stdoutNotifier = new QSocketNotifier(m_stdoutFd.get(), QSocketNotifier::Read, this);
    connect(m_stdoutNotifier, &QSocketNotifier::activated, this, &WhisperStreamTranscriber::readStdout);
    m_stderrNotifier = new QSocketNotifier(m_stderrFd.get(), QSocketNotifier::Read, this);
    connect(m_stderrNotifier, &QSocketNotifier::activated, this, &WhisperStreamTranscriber::drainStderr);
    m_exitNotifier = new QSocketNotifier(m_process->pidFd(), QSocketNotifier::Read, this);
    connect(m_exitNotifier, &QSocketNotifier::activated, this, &WhisperStreamTranscriber::processEnded);

    m_stdoutClosed = false;
    m_lastOutput.start();
    setRunning(true);
    startWatchdog();
}

void WhisperStreamTranscriber::readStdout()
{
    if (!platform::ChildProcess::readAvailable(m_stdoutFd.get(), [this](const QByteArray& bytes) { consumeStdout(bytes); })) {
        closeReader(m_stdoutNotifier, m_stdoutFd);
        consumeStdout(QByteArray());
    }
}

void WhisperStreamTranscriber::drainStderr()
{
    // Nothing the tool says there is shown or kept.
    if (!platform::ChildProcess::readAvailable(m_stderrFd.get(), [](const QByteArray&) {}))
        closeReader(m_stderrNotifier, m_stderrFd);
}

void WhisperStreamTranscriber::consumeStdout(const QByteArray& chunk)
{
    const bool endOfFile = chunk.isEmpty();
    const QString text = endOfFile ? m_decoder.flush() : m_decoder.decode(chunk);
    QString combined = m_segmentTail + text;
    const qsizetype lastBreak = std::max(combined.lastIndexOf(QLatin1Char('\r')), combined.lastIndexOf(QLatin1Char('\n')));
    m_segmentTail = lastBreak < 0 ? combined : combined.mid(lastBreak + 1);
    combined.remove(ansiRegex());
    if (!text.isEmpty() && !isBlank(combined)) {
        m_lastOutput.start();
        processOutput(combined);
    }
    if (endOfFile) {
        m_stdoutClosed = true;
        resumeCloseWaiters();
    }
}

void WhisperStreamTranscriber::processOutput(const QString& text)
{
    const QString segment = extractLatestSegment(text);
    if (segment.isEmpty())
        return;
    const QString current = m_liveText.trimmed();
    if (current.isEmpty() || segment.startsWith(current))
        setLiveText(segment);
    else if (current.startsWith(segment))
        return;
    else
        setLiveText(mergeOverlapping(current, segment));
}

void WhisperStreamTranscriber::processEnded()
{
    if (!m_process)
        return;
    const auto exit = m_process->tryWait();
    if (!exit)
        return;
    platform::FileDescriptor noDescriptor;
    closeReader(m_exitNotifier, noDescriptor);
    // The pipes stay with their readers until end of output, so the last words still arrive.
    m_process.reset();
    stopWatchdog();
    setRunning(false);
    judgeExit(*exit);
}

void WhisperStreamTranscriber::judgeExit(const platform::ChildProcess::ExitStatus& exit)
{
    // A clean end and our own SIGTERM are normal; an exit code of 15 is not.
    if (!exit.isSuccess() && !exit.isKilledBy(SIGTERM))
        setErrorMessage(QStringLiteral("whisper-stream exited with code %1").arg(exit.code));
}

void WhisperStreamTranscriber::startWatchdog()
{
    stopWatchdog();
    m_watchdog = new QTimer(this);
    m_watchdog->setInterval(m_timing.watchdogInterval);
    connect(m_watchdog, &QTimer::timeout, this, [this] {
        if (m_isRunning && m_lastOutput.isValid()
            && m_lastOutput.elapsed() > m_timing.silenceLimit.count()) {
            setErrorMessage(QStringLiteral("whisper-stream appears unresponsive — no output for 30 seconds."));
        }
    });
    m_watchdog->start();
}

void WhisperStreamTranscriber::stopWatchdog()
{
    if (m_watchdog) {
        m_watchdog->stop();
        m_watchdog->deleteLater();
        m_watchdog = nullptr;
    }
}

void WhisperStreamTranscriber::stop(std::function<void()> done)
{
    stopWatchdog();
    if (m_process && !m_process->hasExited())
        m_process->terminate();
    auto finish = [this, done = std::move(done)] {
        finishStop();
        if (done)
            done();
    };
    if (m_stdoutClosed) {
        finish();
        return;
    }
    m_closeWaiters.push_back(std::move(finish));
    // The drain limit belongs to this run: a later run stopped within it must not be cut short.
    QTimer::singleShot(m_timing.drainLimit, this, [this, session = m_session] {
        if (session == m_session)
            resumeCloseWaiters();
    });
}

void WhisperStreamTranscriber::abort()
{
    ++m_session;
    stopWatchdog();
    m_closeWaiters.clear();
    removeReaders();
    m_process.reset(); // kills and reaps
    setRunning(false);
}

void WhisperStreamTranscriber::resumeCloseWaiters()
{
    auto waiters = std::move(m_closeWaiters);
    m_closeWaiters.clear();
    for (auto& waiter : waiters)
        waiter();
}

void WhisperStreamTranscriber::finishStop()
{
    if (m_process) {
        // Judge a tool that ended on its own by its status, as its exit notice would have.
        if (const auto exit = m_process->hasExited() ? m_process->tryWait() : std::nullopt) {
            judgeExit(*exit);
        } else {
            m_process->kill();
        }
    }
    removeReaders();
    m_process.reset();
    setRunning(false);
}

void WhisperStreamTranscriber::removeReaders()
{
    closeReader(m_stdoutNotifier, m_stdoutFd);
    closeReader(m_stderrNotifier, m_stderrFd);
    platform::FileDescriptor noDescriptor;
    closeReader(m_exitNotifier, noDescriptor);
    m_stdoutClosed = true;
}

QString WhisperStreamTranscriber::harvestTranscript()
{
    const QString text = m_liveText.trimmed();
    setLiveText(QString());
    return text;
}

void WhisperStreamTranscriber::setLiveText(const QString& text)
{
    if (text == m_liveText)
        return;
    m_liveText = text;
    emit liveTextChanged();
}

void WhisperStreamTranscriber::setRunning(bool running)
{
    if (running == m_isRunning)
        return;
    m_isRunning = running;
    emit isRunningChanged();
}

void WhisperStreamTranscriber::setErrorMessage(const std::optional<QString>& message)
{
    if (message == m_errorMessage)
        return;
    m_errorMessage = message;
    emit errorMessageChanged();
}

} // namespace velmora
