#include "LaunchAtLoginManager.h"

#include "DesktopEntryExec.h"

#include "Platform/Linux/XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace LaunchAtLogin {

namespace {

constexpr qint64 largestEntry = 64 * 1024;

// The keys of the [Desktop Entry] group, values unescaped later by their type.
QHash<QString, QString> desktopEntryKeys(const QByteArray& text)
{
    QHash<QString, QString> keys;
    bool inGroup = false;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inGroup || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!keys.contains(key)) // the first of a repeated key wins
            keys.insert(key, line.mid(equals + 1).trimmed());
    }
    return keys;
}

QString sameFile(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

LaunchAtLoginManager::LaunchAtLoginManager(QString executablePath, QString autostartFolder)
    : m_executablePath(std::move(executablePath))
    , m_autostartFolder(std::move(autostartFolder))
{
}

QString LaunchAtLoginManager::defaultAutostartFolder()
{
    return velmora::platform::XdgPaths::configHome() + QStringLiteral("/autostart");
}

QString LaunchAtLoginManager::entryPath() const
{
    return m_autostartFolder + QStringLiteral("/velmora.desktop");
}

QByteArray LaunchAtLoginManager::entryText(const QString& executablePath)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Velmora\n"
                                        "Comment=Dictation from the system tray\n"
                                        "Exec=%1\n"
                                        "TryExec=%2\n"
                                        "Icon=velmora\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(DesktopEntryExec::quote({executablePath}),
                                  DesktopEntryExec::escapeString(executablePath));
    return text.toUtf8();
}

LaunchAtLoginState LaunchAtLoginManager::currentState() const
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return LaunchAtLoginState::disabled;
    const auto keys = desktopEntryKeys(file.read(largestEntry));
    const auto isTrue = [&](const char* key) { return keys.value(QString::fromLatin1(key)) == QLatin1String("true"); };
    const auto isFalse = [&](const char* key) { return keys.value(QString::fromLatin1(key)) == QLatin1String("false"); };
    if (isTrue("Hidden") || isFalse("X-GNOME-Autostart-enabled"))
        return LaunchAtLoginState::disabled;
    const auto command = DesktopEntryExec::split(keys.value(QStringLiteral("Exec")));
    if (!command || command->isEmpty() || m_executablePath.isEmpty())
        return LaunchAtLoginState::disabled;
    return sameFile(command->first()) == sameFile(m_executablePath) ? LaunchAtLoginState::enabled
                                                                    : LaunchAtLoginState::disabled;
}

std::variant<LaunchAtLoginState, LaunchAtLoginManagerError> LaunchAtLoginManager::update(bool enabled)
{
    const LaunchAtLoginState state = currentState();
    if (enabled && state == LaunchAtLoginState::disabled) {
        // Another copy's entry, or one switched off by hand, is replaced by this copy's.
        if (!QDir().mkpath(m_autostartFolder))
            return LaunchAtLoginManagerError{LaunchAtLoginManagerError::Kind::registerFailed,
                                             QStringLiteral("the folder %1 cannot be made.").arg(m_autostartFolder)};
        QSaveFile file(entryPath());
        const QByteArray text = entryText(m_executablePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
            return LaunchAtLoginManagerError{LaunchAtLoginManagerError::Kind::registerFailed, file.errorString()};
    } else if (!enabled && state != LaunchAtLoginState::disabled) {
        QFile file(entryPath());
        if (!file.remove())
            return LaunchAtLoginManagerError{LaunchAtLoginManagerError::Kind::unregisterFailed, file.errorString()};
    }
    return currentState();
}

} // namespace LaunchAtLogin
