#include "ActivationEvent.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <cmath>

namespace velmora {
namespace {

// One JSON value as Qt writes it (escaping, number form), without the array around it.
QByteArray json(const QJsonValue& value)
{
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

} // namespace

QByteArray ActivationEvent::jsonLine() const
{
    QByteArray line = "{";
    const auto field = [&line](const char* key, const QByteArray& value) {
        if (line.size() > 1)
            line += ',';
        line += '"';
        line += key;
        line += "\":";
        line += value;
    };
    field("eventLogVersion", json(eventLogVersion));
    field("timestamp", json(timestamp));
    field("action", json(action));
    if (source)
        field("source", json(*source));
    QByteArray details = "{";
    for (auto it = sourceDetails.cbegin(); it != sourceDetails.cend(); ++it) {
        if (details.size() > 1)
            details += ',';
        details += json(it.key()) + ':' + json(it.value());
    }
    field("sourceDetails", details + '}');
    field("mode", json(mode));
    field("isRecording", json(isRecording));
    field("isTranscribing", json(isTranscribing));
    field("elapsedSeconds", json(std::isfinite(elapsedSeconds) ? elapsedSeconds : 0.0));
    field("processIdentifier", json(processIdentifier));
    if (frontmostApplicationName)
        field("frontmostApplicationName", json(*frontmostApplicationName));
    if (frontmostBundleIdentifier)
        field("frontmostBundleIdentifier", json(*frontmostBundleIdentifier));
    if (message)
        field("message", json(*message));
    return line + '}';
}

QString ActivationEvent::summary() const
{
    QStringList parts{QStringLiteral("action=") + action};
    if (source)
        parts << QStringLiteral("source=") + *source;
    parts << QStringLiteral("mode=") + mode
          << QStringLiteral("recording=") + (isRecording ? QStringLiteral("true") : QStringLiteral("false"))
          << QStringLiteral("transcribing=") + (isTranscribing ? QStringLiteral("true") : QStringLiteral("false"))
          << QStringLiteral("elapsed=%1s").arg(static_cast<qint64>(std::isfinite(elapsedSeconds) ? elapsedSeconds : 0));
    if (frontmostBundleIdentifier)
        parts << QStringLiteral("frontmost=") + *frontmostBundleIdentifier;
    if (message)
        parts << QStringLiteral("message=") + *message;
    return parts.join(QLatin1Char(' '));
}

} // namespace velmora
