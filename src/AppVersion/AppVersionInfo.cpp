#include "AppVersionInfo.h"

#include "AppVersionDisplay.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace AppVersion {

namespace {

// Info.json is a handful of keys; anything larger is not ours.
constexpr qint64 maximumInfoSize = 64 * 1024;

QString textOrZero(const QJsonObject& info, const char* key)
{
    const QJsonValue value = info.value(QLatin1String(key));
    return value.isString() ? value.toString() : QStringLiteral("0");
}

} // namespace

AppVersionInfo AppVersionInfo::fromInfo(const QByteArray& infoJson, std::optional<QDateTime> buildDate)
{
    const QJsonObject info = QJsonDocument::fromJson(infoJson).object();
    return {textOrZero(info, "CFBundleShortVersionString"), textOrZero(info, "CFBundleVersion"), std::move(buildDate)};
}

AppVersionInfo AppVersionInfo::current(const velmora::platform::MainBundle& bundle)
{
    QByteArray json;
    if (bundle.resourcePath) {
        QFile file(*bundle.resourcePath + QStringLiteral("/Info.json"));
        if (file.open(QIODevice::ReadOnly) && file.size() <= maximumInfoSize)
            json = file.read(maximumInfoSize);
    }
    std::optional<QDateTime> built;
    if (bundle.executablePath) {
        const QFileInfo executable(*bundle.executablePath);
        if (executable.exists())
            built = executable.lastModified().toUTC();
    }
    return fromInfo(json, built);
}

QString AppVersionInfo::displayLabel() const
{
    return AppVersionDisplay::label(*this, QTimeZone::systemTimeZone());
}

} // namespace AppVersion
