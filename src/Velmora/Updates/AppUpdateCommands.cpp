#include "AppUpdateCommands.h"

#include "AppUpdater/AppUpdater.h"

#include <QAction>

namespace velmora {

AppUpdateCommands::AppUpdateCommands(AppUpdater::AppUpdater& updater, QObject* parent)
    : QObject(parent)
    , m_checkForUpdates(new QAction(QStringLiteral("Check for Updates…"), this))
{
    m_checkForUpdates->setObjectName(QStringLiteral("checkForUpdatesAction"));
    const auto follow = [this, &updater] { m_checkForUpdates->setEnabled(updater.canCheckForUpdates()); };
    connect(&updater, &AppUpdater::AppUpdater::stateChanged, this, follow);
    follow();
    connect(m_checkForUpdates, &QAction::triggered, &updater, &AppUpdater::AppUpdater::checkForUpdates);
}

} // namespace velmora
