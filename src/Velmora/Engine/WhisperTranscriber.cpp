#include "WhisperTranscriber.h"

#include "Platform/Linux/ChildProcess.h"
#include "Platform/Linux/MainBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QScopeGuard>
#include <QUuid>

namespace velmora {

const QStringList WhisperTranscriber::vadArguments{QStringLiteral("--vad-speech-pad-ms"), QStringLiteral("200"),
                                                   QStringLiteral("--vad-min-silence-duration-ms"),
                                                   QStringLiteral("500")};

namespace {

// What the output file holds until the tool writes it: no transcript is a lone NUL.
const QByteArray unwrittenOutput(1, '\0');

QString decodeStrictly(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

} // namespace

std::optional<BundledWhisperRuntime> WhisperTranscriber::currentRuntime()
{
    std::optional<QString> argv0;
    if (QCoreApplication::instance() && !QCoreApplication::arguments().isEmpty())
        argv0 = QCoreApplication::arguments().first();
    return BundledWhisperRuntime::current(platform::MainBundle::current(argv0));
}

WhisperTranscriber::VadModelPathResolver WhisperTranscriber::defaultVadModelPathResolver(RuntimeLookup runtime)
{
    return [runtime = std::move(runtime)](const WhisperConfiguration& configuration) -> std::optional<QString> {
        const auto shipped = runtime();
        if (!shipped || shipped->executablePath != configuration.executablePath)
            return std::nullopt;
        return shipped->vadModelPath;
    };
}

WhisperTranscriber::WhisperTranscriber(QString outputDirectory, VadModelPathResolver vadModelPathResolver,
                                       RuntimeLookup runtime, platform::FileProbe probe)
    : m_outputDirectory(std::move(outputDirectory))
    , m_vadModelPathResolver(vadModelPathResolver ? std::move(vadModelPathResolver)
                                                  : defaultVadModelPathResolver(runtime))
    , m_runtime(std::move(runtime))
    , m_probe(std::move(probe))
{
}

WhisperTranscriber::~WhisperTranscriber() = default;

QStringList WhisperTranscriber::arguments(const QString& audioFilePath, const WhisperConfiguration& configuration,
                                          const QString& outputBase, const std::optional<QString>& prompt,
                                          const std::optional<QString>& vadModelPath)
{
    QStringList arguments{QStringLiteral("-m"),  configuration.modelPath, QStringLiteral("-f"),
                          audioFilePath,         QStringLiteral("-l"),    configuration.language,
                          QStringLiteral("-otxt"), QStringLiteral("-of"), outputBase,
                          QStringLiteral("-np"), QStringLiteral("-nt")};
    if (prompt && !prompt->isEmpty())
        arguments << QStringLiteral("--prompt") << *prompt;
    if (vadModelPath)
        arguments << QStringLiteral("--vad") << QStringLiteral("--vad-model") << *vadModelPath << vadArguments;
    return arguments;
}

WhisperTranscriber::Result WhisperTranscriber::transcribe(const QString& audioFilePath,
                                                          const WhisperConfiguration& configuration,
                                                          const std::optional<QString>& prompt, bool useVAD,
                                                          const std::shared_ptr<RunCancellation>& cancellation)
{
    WhisperConfiguration resolved = configuration;
    if (const auto shipped = m_runtime ? m_runtime() : std::nullopt)
        resolved.executablePath = shipped->executablePath;
    if (!m_probe.isExecutableFile(resolved.executablePath))
        return WhisperTranscriberError::executableMissing(resolved.executablePath);
    if (!m_probe.exists(resolved.modelPath))
        return WhisperTranscriberError::modelMissing(resolved.modelPath);

    if (m_outputDirectory.isEmpty())
        return WhisperTranscriberError::startFailed(QStringLiteral("there is no private folder for its output"));
    const QString outputBase = QDir(m_outputDirectory).filePath(
        QStringLiteral("velmora-output-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    const QString outputFile = outputBase + QStringLiteral(".txt");
    // Made here, readable by this user only: the tool truncates and rewrites it, which keeps the
    // mode. The byte in it tells a tool that never wrote its output from one that wrote nothing.
    if (QFile made(outputFile); !made.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
                                || made.write(unwrittenOutput) != unwrittenOutput.size())
        return WhisperTranscriberError::startFailed(made.errorString());
    const auto removeOutput = qScopeGuard([&] { QFile::remove(outputFile); });
    const std::optional<QString> vad = useVAD ? m_vadModelPathResolver(resolved) : std::nullopt;

    platform::ChildProcess::Options options;
    options.program = resolved.executablePath;
    options.arguments = arguments(audioFilePath, resolved, outputBase, prompt, vad);
    options.standardError = platform::ChildProcess::Output::pipe;
    options.background = m_background;

    std::shared_ptr<platform::ChildProcess> process;
    {
        // Checking the flag and starting under one lock: an invalidation
        // either prevents the start or finds the process and stops it.
        QMutexLocker lock(&m_processLock);
        if (m_isInvalidated || (cancellation && cancellation->isCancelled()))
            return WhisperTranscriberError::cancelled();
        auto spawned = platform::ChildProcess::spawn(options);
        if (const auto* error = std::get_if<platform::SystemError>(&spawned))
            return WhisperTranscriberError::startFailed(error->description());
        process = std::move(std::get<std::unique_ptr<platform::ChildProcess>>(spawned));
        m_currentProcess = process;
    }
    // A cancel between the check above and here finds nothing bound: stop the tool ourselves.
    if (cancellation && !cancellation->bind([process] { process->terminate(); }))
        process->terminate();

    // Read standard error to its end before waiting, so a chatty tool never
    // blocks on a full pipe.
    const QByteArray standardError = platform::ChildProcess::readToEnd(process->standardErrorFd());
    const platform::ChildProcess::ExitStatus exit = process->wait();
    {
        QMutexLocker lock(&m_processLock);
        if (m_currentProcess == process)
            m_currentProcess.reset();
    }
    if (cancellation)
        cancellation->unbind();

    Result result = WhisperTranscriberError::outputMissing();
    if (!exit.isSuccess()) {
        QString message = decodeStrictly(standardError).trimmed();
        if (message.isEmpty())
            message = QStringLiteral("whisper-cli exited with status %1.").arg(exit.code);
        result = WhisperTranscriberError::processFailure(message);
    } else if (QFile file(outputFile); file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            result = WhisperTranscriberError::outputUnreadable(file.errorString());
        } else if (const QByteArray text = file.readAll(); text != unwrittenOutput) {
            // A token can end inside a multi-byte character; keep the words
            // around it rather than losing the whole transcript.
            result = QString::fromUtf8(text).trimmed();
        }
    }
    return result;
}

void WhisperTranscriber::invalidate()
{
    QMutexLocker lock(&m_processLock);
    m_isInvalidated = true;
    if (m_currentProcess)
        m_currentProcess->terminate();
}

void WhisperTranscriber::cancelCurrentProcess()
{
    QMutexLocker lock(&m_processLock);
    if (m_currentProcess)
        m_currentProcess->terminate();
}

bool WhisperTranscriber::isInvalidated() const
{
    QMutexLocker lock(&m_processLock);
    return m_isInvalidated;
}

void WhisperTranscriber::removeStaleTemporaryFiles(const QString& folder)
{
    if (folder.isEmpty())
        return; // not the working folder
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QString& name : names) {
        const bool staleOutput = name.startsWith(QLatin1String("velmora-output-")) && name.endsWith(QLatin1String(".txt"));
        const bool staleAudio = name.startsWith(QLatin1String("velmora-")) && name.endsWith(QLatin1String(".wav"));
        if (staleOutput || staleAudio)
            QFile::remove(dir.filePath(name));
    }
}

} // namespace velmora
