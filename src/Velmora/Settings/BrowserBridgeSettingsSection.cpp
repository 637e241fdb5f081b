#include "BrowserBridgeSettingsSection.h"

#include "SettingsStyle.h"

#include "BrowserBridge/BrowserBridgeCoordinator.h"
#include "Widgets/SymbolIcon.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

namespace velmora {

BrowserBridgeSettingsSection::BrowserBridgeSettingsSection(BrowserBridgeCoordinator& bridge, QWidget* parent)
    : QWidget(parent)
    , m_bridge(bridge)
{
    setObjectName(QStringLiteral("browserBridgeSection"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    m_toggle = SettingsStyle::toggle(QStringLiteral("Browser integration"), Symbol::globe,
                                     QStringLiteral("browserBridgeToggle"), this);
    column->addWidget(m_toggle);
    m_status = SettingsStyle::caption(QString(), true, this);
    m_status->setObjectName(QStringLiteral("browserBridgeStatus"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_status);

    connect(m_toggle, &QCheckBox::toggled, &m_bridge, &BrowserBridgeCoordinator::setEnabled);
    connect(&m_bridge, &BrowserBridgeCoordinator::isEnabledChanged, this, &BrowserBridgeSettingsSection::refresh);
    connect(&m_bridge, &BrowserBridgeCoordinator::statusChanged, this, &BrowserBridgeSettingsSection::refresh);
    refresh();
}

void BrowserBridgeSettingsSection::refresh()
{
    const QSignalBlocker block(m_toggle);
    m_toggle->setChecked(m_bridge.isEnabled());
    m_status->setText(m_bridge.status());
    m_status->setAccessibleName(m_bridge.status());
}

} // namespace velmora
