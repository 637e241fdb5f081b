#include "DuplicateLaunchRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace SingleInstance {

QByteArray DuplicateLaunchRequest::toJson() const
{
    QJsonArray urls;
    for (const QUrl& url : fileURLs)
        urls.append(url.toString(QUrl::FullyEncoded));
    const QJsonObject object{
        {QStringLiteral("arguments"), QJsonArray::fromStringList(arguments)},
        {QStringLiteral("fileURLs"), urls},
        {QStringLiteral("createdAt"), createdAt.toUTC().toString(Qt::ISODate)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<DuplicateLaunchRequest> DuplicateLaunchRequest::fromJson(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue arguments = object.value(QStringLiteral("arguments"));
    const QJsonValue urls = object.value(QStringLiteral("fileURLs"));
    const QJsonValue created = object.value(QStringLiteral("createdAt"));
    if (!arguments.isArray() || !urls.isArray() || !created.isString())
        return std::nullopt;

    DuplicateLaunchRequest request;
    for (const QJsonValue& argument : arguments.toArray()) {
        if (!argument.isString())
            return std::nullopt;
        request.arguments.append(argument.toString());
    }
    for (const QJsonValue& url : urls.toArray()) {
        const QUrl parsed(url.toString(), QUrl::StrictMode);
        if (!url.isString() || !parsed.isValid() || !parsed.isLocalFile())
            return std::nullopt;
        request.fileURLs.append(parsed);
    }
    request.createdAt = QDateTime::fromString(created.toString(), Qt::ISODate);
    if (!request.createdAt.isValid())
        return std::nullopt;
    request.createdAt = request.createdAt.toUTC();
    return request;
}

} // namespace SingleInstance
