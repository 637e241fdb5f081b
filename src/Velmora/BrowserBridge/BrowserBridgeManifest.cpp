#include "BrowserBridgeManifest.h"

#include "Platform/Linux/XdgPaths.h"

#include "BrowserBridge.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace velmora::BrowserBridgeManifest {

QString Status::text() const
{
    switch (kind) {
    case Kind::registered:
        return QStringLiteral("Registered for Microsoft Edge");
    case Kind::removed:
        return QStringLiteral("Off");
    case Kind::notRegistered:
    case Kind::failed:
        return message;
    }
    return {};
}

QString manifestPath()
{
    return platform::XdgPaths::configHome() + QStringLiteral("/microsoft-edge/NativeMessagingHosts/") + hostName
           + QStringLiteral(".json");
}

QByteArray contents(const QString& executablePath)
{
    const QJsonObject manifest{
        {QStringLiteral("name"), hostName},
        {QStringLiteral("description"), QStringLiteral("Velmora dictation bridge")},
        {QStringLiteral("path"), executablePath},
        {QStringLiteral("type"), QStringLiteral("stdio")},
        {QStringLiteral("allowed_origins"), QJsonArray{BrowserBridge::allowedOrigin}},
    };
    return QJsonDocument(manifest).toJson(QJsonDocument::Indented);
}

bool isRegistrable(const QString& executablePath, const QString& home, bool allowAnyPath)
{
    if (allowAnyPath)
        return true;
    // Lexically: "." and ".." resolved, links not followed.
    const QString standardized = QDir::cleanPath(QDir::isAbsolutePath(executablePath)
                                                     ? executablePath
                                                     : QDir::current().absoluteFilePath(executablePath));
    // <bundle>/bin/velmora, where the bundle sits directly in an applications folder.
    const QString bundle = QFileInfo(QFileInfo(standardized).absolutePath()).absolutePath();
    const QString parent = QFileInfo(bundle).absolutePath();
    return parent == QStringLiteral("/opt") || parent == QDir::cleanPath(home + QStringLiteral("/Applications"));
}

Status install(const std::optional<QString>& executablePath, const QString& home, bool allowAnyPath)
{
    if (!executablePath || executablePath->isEmpty())
        return {Status::Kind::failed, QStringLiteral("The app's executable path is unknown.")};
    if (!isRegistrable(*executablePath, home, allowAnyPath))
        return {Status::Kind::notRegistered, QStringLiteral("Not registered: only a copy in /opt or ~/Applications is registered.")};
    const QByteArray bytes = contents(*executablePath);
    const QString path = manifestPath();
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == bytes)
        return {Status::Kind::registered, {}};
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return {Status::Kind::failed, QStringLiteral("Could not register: the folder cannot be created.")};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return {Status::Kind::failed, QStringLiteral("Could not register: ") + file.errorString()};
    return {Status::Kind::registered, {}};
}

Status remove()
{
    QFile file(manifestPath());
    if (file.exists() && !file.remove())
        return {Status::Kind::failed, QStringLiteral("Could not remove the registration: ") + file.errorString()};
    return {Status::Kind::removed, {}};
}

} // namespace velmora::BrowserBridgeManifest
