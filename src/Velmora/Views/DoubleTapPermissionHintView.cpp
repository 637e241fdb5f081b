#include "DoubleTapPermissionHintView.h"

#include "Widgets/MessageBanner.h"

#include "HotKeys/DoubleTapPermissionState.h"

#include <QVBoxLayout>

namespace velmora {

DoubleTapPermissionHintView::DoubleTapPermissionHintView(DoubleTapPermissionState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_banner(new MessageBanner(MessageBanner::Style::warning, this))
{
    setObjectName(QStringLiteral("doubleTapHint"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_banner);
    m_banner->setMessage(m_state.hint());
    connect(&m_state, &DoubleTapPermissionState::showsHintChanged, this, &QWidget::setVisible);
    setVisible(m_state.showsHint());
}

} // namespace velmora
