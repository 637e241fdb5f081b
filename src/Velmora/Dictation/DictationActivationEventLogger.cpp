#include "DictationActivationEventLogger.h"

#include "Paths/VelmoraPaths.h"

#include "Platform/LogCategories.h"
#include "Platform/TextDelivery.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>


namespace velmora {
DictationActivationEventLogger::DictationActivationEventLogger(QString filePath, qint64 maximumLogBytes,
                                                               FrontmostLookup frontmost, Clock now)
    : m_filePath(std::move(filePath))
    , m_maximumLogBytes(maximumLogBytes)
    , m_frontmost(frontmost ? std::move(frontmost) : &platform::TextDelivery::currentFrontmostApplication)
    , m_now(now ? std::move(now) : [] { return QDateTime::currentDateTimeUtc(); })
{
}

QString DictationActivationEventLogger::logDirectory()
{
    return VelmoraPaths::logsFolder();
}

DictationActivationEventLogger DictationActivationEventLogger::standard()
{
    return {logDirectory() + QStringLiteral("/activation.log"), standardMaximumLogBytes};
}

void DictationActivationEventLogger::removeLegacyLog(const QString& folder)
{
    QFile legacy(folder + QStringLiteral("/activation-events.log"));
    if (!legacy.exists())
        return;
    if (!legacy.remove())
        qCCritical(logging::activation).noquote() << "Failed to remove legacy activation log:" << legacy.errorString();
}

void DictationActivationEventLogger::record(const QString& action, const std::optional<DictationActivationSource>& source,
                                            DictationMode mode, bool isRecording, bool isTranscribing,
                                            double elapsedSeconds, const std::optional<QString>& message) const
{
    ActivationEvent event;
    event.timestamp = m_now().toUTC().toString(Qt::ISODate);
    event.action = action;
    if (source) {
        event.source = source->logName();
        event.sourceDetails = source->details();
    }
    event.mode = rawValue(mode);
    event.isRecording = isRecording;
    event.isTranscribing = isTranscribing;
    event.elapsedSeconds = elapsedSeconds;
    event.processIdentifier = static_cast<qint32>(QCoreApplication::applicationPid());
    if (const auto frontmost = m_frontmost()) {
        event.frontmostApplicationName = frontmost->name;
        event.frontmostBundleIdentifier = frontmost->identifier;
    }
    event.message = message;
    qCInfo(logging::activation).noquote() << event.summary();
    append(event);
}

void DictationActivationEventLogger::append(const ActivationEvent& event) const
{
    const QByteArray line = event.jsonLine() + '\n';
    const auto fail = [](const QString& why) {
        qCCritical(logging::activation).noquote() << "Failed to append activation event:" << why;
    };
    const QFileInfo info(m_filePath);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));

    QFile file(m_filePath);
    if (file.exists() && file.size() + line.size() > m_maximumLogBytes) {
        const QString older = m_filePath + QStringLiteral(".1");
        QFile::remove(older);
        if (!file.rename(older))
            return fail(file.errorString());
        file.setFileName(m_filePath);
    }
    // Created owner-only: the log names the applications the user works in.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return fail(file.errorString());
    if (file.write(line) != line.size() || !file.flush())
        return fail(file.errorString());
}

} // namespace velmora
