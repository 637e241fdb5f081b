#include "DirectInsertSettingsSection.h"

#include "SettingsStyle.h"

#include "Dictation/DictationController.h"
#include "Widgets/MessageBanner.h"

#include "Platform/DesktopSession.h"
#include "Widgets/SymbolIcon.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace velmora {

DirectInsertSettingsSection::DirectInsertSettingsSection(DictationController& controller,
                                                         std::function<bool()> canPostKeys,
                                                         std::optional<QString> sessionLimits, QWidget* parent)
    : QWidget(parent)
    , m_controller(controller)
    , m_canPostKeys(std::move(canPostKeys))
    , m_sessionLimits(sessionLimits ? *sessionLimits : platform::DesktopSession::backends().insertLimits())
{
    setObjectName(QStringLiteral("directInsertSection"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    m_toggle = SettingsStyle::toggle(QStringLiteral("Insert into active app"), Symbol::textCursor,
                                     QStringLiteral("directInsertToggle"), this);
    column->addWidget(m_toggle);
    column->addWidget(SettingsStyle::caption(
        QStringLiteral("Standard mode: pastes at the cursor, then restores the clipboard"), true, this));
    m_spaceToggle = SettingsStyle::toggle(QStringLiteral("Space between dictations"), Symbol::textCursor,
                                          QStringLiteral("spaceBetweenDictationsToggle"), this);
    column->addWidget(m_spaceToggle);
    column->addWidget(SettingsStyle::caption(
        QStringLiteral("A dictation pasted into the same window within two minutes of the last one starts with a space"),
        true, this));
    column->addSpacing(4);
    // No desktop offers a page that grants sending keys, so the banner has no button.
    m_banner = new MessageBanner(MessageBanner::Style::warning, this);
    m_banner->setObjectName(QStringLiteral("directInsertPermissionBanner"));
    m_banner->setMessage(m_sessionLimits.isEmpty()
                             ? QStringLiteral("Inserting needs Accessibility access to send Ctrl+V. Without it, the text is only copied.")
                             : m_sessionLimits);
    column->addWidget(m_banner);

    connect(m_toggle, &QCheckBox::toggled, this, [this](bool on) {
        m_controller.setDirectInsertEnabled(on);
        refreshPermission();
    });
    connect(m_spaceToggle, &QCheckBox::toggled, this, [this](bool on) { m_controller.setSpaceBetweenDictations(on); });
    connect(&m_controller, &DictationController::preferencesChanged, this, &DirectInsertSettingsSection::refresh);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && isVisible())
            refreshPermission();
    });
    refresh();
}

void DirectInsertSettingsSection::refreshPermission()
{
    m_hasPermission = m_canPostKeys && m_canPostKeys();
    refresh();
}

void DirectInsertSettingsSection::refresh()
{
    const bool enabled = m_controller.directInsertEnabled();
    const QSignalBlocker block(m_toggle);
    m_toggle->setChecked(enabled);
    const QSignalBlocker blockSpace(m_spaceToggle);
    m_spaceToggle->setChecked(m_controller.spaceBetweenDictations());
    m_spaceToggle->setEnabled(enabled);
    if (enabled && !m_hasPermission)
        m_hasPermission = m_canPostKeys && m_canPostKeys();
    m_banner->setVisible(enabled && (!m_hasPermission.value_or(false) || !m_sessionLimits.isEmpty()));
}

void DirectInsertSettingsSection::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshPermission();
}

} // namespace velmora
