#include "UpdateConfiguration.h"

#include <QByteArray>

namespace AppUpdater {

std::optional<UpdateConfiguration> UpdateConfiguration::fromInfo(const QJsonObject& info)
{
    const QJsonValue feed = info.value(QStringLiteral("SUFeedURL"));
    const QJsonValue key = info.value(QStringLiteral("SUPublicEDKey"));
    if (!feed.isString() || !key.isString())
        return std::nullopt;
    // QUrl lowers the scheme's case; the text itself must say "https".
    const QUrl url(feed.toString(), QUrl::StrictMode);
    if (!url.isValid() || !feed.toString().startsWith(QLatin1String("https:")) || url.host().isEmpty() || !url.userName().isEmpty()
        || !url.password().isEmpty())
        return std::nullopt;
    // Strict Base64: white space or any stray character fails, as does a key of the wrong size.
    const auto decoded = QByteArray::fromBase64Encoding(key.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != 32 || key.toString().toLatin1() != key.toString().toUtf8())
        return std::nullopt;
    return UpdateConfiguration{url, key.toString()};
}

} // namespace AppUpdater
