#pragma once

#include <QObject>

class QAction;

namespace AppUpdater {
class AppUpdater;
}

namespace velmora {

// "Check for Updates…", placed beside "Quit Velmora" in the popover (there is
// no application menu bar): asks the updater, and is enabled only while it can check.
class AppUpdateCommands : public QObject {
    Q_OBJECT
public:
    explicit AppUpdateCommands(AppUpdater::AppUpdater& updater, QObject* parent = nullptr);

    QAction* checkForUpdates() const { return m_checkForUpdates; }

private:
    QAction* m_checkForUpdates;
};

} // namespace velmora
