#include "UpdateSettingsSection.h"

#include "SettingsStyle.h"

#include "AppUpdater/AppUpdater.h"
#include "Widgets/SymbolIcon.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

UpdateSettingsSection::UpdateSettingsSection(AppUpdater::AppUpdater& updater, QWidget* parent)
    : QWidget(parent)
    , m_updater(updater)
{
    setObjectName(QStringLiteral("updateSection"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Updates"), Symbol::arrowDownCircle, this));
    m_automatic = new QCheckBox(QStringLiteral("Check for updates automatically"), this);
    m_automatic->setObjectName(QStringLiteral("automaticUpdatesToggle"));
    m_automatic->setFont(SettingsStyle::font(font(), 12));
    column->addWidget(m_automatic);
    column->addWidget(SettingsStyle::caption(
        QStringLiteral("Checks at launch and every hour. You choose when to download and install an update."), false,
        this));
    auto* row = new QHBoxLayout;
    m_error = SettingsStyle::caption(QString(), false, this);
    m_error->setObjectName(QStringLiteral("updateConfigurationError"));
    row->addWidget(m_error, 1);
    m_check = new QPushButton(QStringLiteral("Check for Updates…"), this);
    m_check->setObjectName(QStringLiteral("checkForUpdatesButton"));
    row->addWidget(m_check);
    column->addLayout(row);
    connect(m_automatic, &QCheckBox::toggled, &m_updater, &AppUpdater::AppUpdater::setAutomaticallyChecksForUpdates);
    connect(m_check, &QPushButton::clicked, &m_updater, &AppUpdater::AppUpdater::checkForUpdates);
    connect(&m_updater, &AppUpdater::AppUpdater::stateChanged, this, &UpdateSettingsSection::refresh);
    refresh();
}

void UpdateSettingsSection::refresh()
{
    const QSignalBlocker block(m_automatic);
    m_automatic->setChecked(m_updater.automaticallyChecksForUpdates());
    m_automatic->setEnabled(m_updater.configurationError().isEmpty());
    m_error->setText(m_updater.configurationError());
    m_error->setVisible(!m_updater.configurationError().isEmpty());
    m_check->setEnabled(m_updater.canCheckForUpdates());
}

} // namespace velmora
