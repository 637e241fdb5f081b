#pragma once

#include "LaunchAtLoginManaging.h"

#include <QByteArray>
#include <QString>

namespace LaunchAtLogin {

// Starting at login through the XDG autostart entry `velmora.desktop`, which
// starts this copy's executable. The entry counts as this copy's only while it
// is shown (not Hidden, not switched off for GNOME) and its Exec starts this
// very executable: an entry left by another copy is that copy's business.
class LaunchAtLoginManager final : public LaunchAtLoginManaging {
public:
    explicit LaunchAtLoginManager(QString executablePath, QString autostartFolder = defaultAutostartFolder());

    static QString defaultAutostartFolder(); // $XDG_CONFIG_HOME/autostart
    QString entryPath() const;
    // The entry's text; TryExec keeps an entry whose copy was removed from doing anything.
    static QByteArray entryText(const QString& executablePath);

    LaunchAtLoginState currentState() const override;
    [[nodiscard]] std::variant<LaunchAtLoginState, LaunchAtLoginManagerError> update(bool enabled) override;

private:
    QString m_executablePath;
    QString m_autostartFolder;
};

} // namespace LaunchAtLogin
