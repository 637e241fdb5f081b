#include "VerificationMarker.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

namespace velmora {

QByteArray VerificationMarker::toJson() const
{
    return QJsonDocument(QJsonObject{{QStringLiteral("sha256"), sha256},
                                     {QStringLiteral("size"), size},
                                     {QStringLiteral("modified"), modified}})
        .toJson(QJsonDocument::Compact);
}

std::optional<VerificationMarker> VerificationMarker::fromJson(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue sha = object.value(QStringLiteral("sha256"));
    const QJsonValue size = object.value(QStringLiteral("size"));
    const QJsonValue modified = object.value(QStringLiteral("modified"));
    if (object.size() != 3 || !sha.isString() || !size.isDouble() || !modified.isDouble()
        || size.toVariant().typeId() != QMetaType::LongLong)
        return std::nullopt;
    return VerificationMarker{sha.toString(), size.toInteger(), modified.toDouble()};
}

} // namespace velmora
