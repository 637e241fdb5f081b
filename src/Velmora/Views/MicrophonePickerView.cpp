#include "MicrophonePickerView.h"

#include "Audio/AudioDeviceManager.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QToolButton>

namespace velmora {

namespace {

QIcon microphoneWithDot(const QColor& glyph, const QColor& dot)
{
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glyph);
    painter.drawRoundedRect(QRectF(7, 2, 6, 10), 3, 3);
    painter.setPen(QPen(glyph, 1.5, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(4.5, 5, 11, 10), 200 * 16, 140 * 16);
    painter.drawLine(QPointF(10, 15), QPointF(10, 18));
    painter.setPen(Qt::NoPen);
    painter.setBrush(dot);
    painter.drawEllipse(QRectF(13, 13, 5, 5));
    return QIcon(pixmap);
}

} // namespace

MicrophonePickerView::MicrophonePickerView(AudioDeviceManager& devices, QWidget* parent)
    : QWidget(parent)
    , m_devices(devices)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("microphoneName"));
    QFont nameFont = m_name->font();
    nameFont.setPixelSize(10);
    nameFont.setWeight(QFont::Medium);
    m_name->setFont(nameFont);
    m_name->setMaximumWidth(140);
    m_name->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_name);
    m_button = new QToolButton(this);
    m_button->setObjectName(QStringLiteral("microphoneButton"));
    m_button->setAutoRaise(true);
    m_button->setPopupMode(QToolButton::InstantPopup);
    m_button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    m_button->setAccessibleName(QStringLiteral("Microphone"));
    m_button->setToolTip(QStringLiteral("Microphone"));
    // The menu is the popover's child, so clicks in it are clicks in the popover.
    m_menu = new QMenu(m_button);
    m_menu->setObjectName(QStringLiteral("microphoneMenu"));
    m_button->setMenu(m_menu);
    layout->addWidget(m_button);
    connect(m_menu, &QMenu::aboutToShow, this, &MicrophonePickerView::rebuildMenu);
    connect(&m_devices, &AudioDeviceManager::devicesChanged, this, &MicrophonePickerView::refresh);
    connect(&m_devices, &AudioDeviceManager::selectedDeviceUIDChanged, this, &MicrophonePickerView::refresh);
    refresh();
    rebuildMenu();
}

QString MicrophonePickerView::deviceText() const
{
    const auto active = m_devices.activeDevice();
    return active ? active->name : QStringLiteral("System Default");
}

bool MicrophonePickerView::dotIsGreen() const
{
    const auto& selected = m_devices.selectedDeviceUID();
    return !selected || m_devices.isDeviceAlive(*selected);
}

void MicrophonePickerView::refresh()
{
    const QString text = deviceText();
    m_name->setText(m_name->fontMetrics().elidedText(text, Qt::ElideRight, m_name->maximumWidth()));
    m_name->setToolTip(text);
    m_button->setIcon(microphoneWithDot(palette().color(QPalette::WindowText),
                                       dotIsGreen() ? QColor(0x30, 0xb0, 0x50) : QColor(0xff, 0x95, 0x00)));
    if (m_menu->isVisible())
        rebuildMenu();
}

void MicrophonePickerView::rebuildMenu()
{
    m_menu->clear();
    const auto& selected = m_devices.selectedDeviceUID();
    QAction* system = m_menu->addAction(QStringLiteral("System Default"));
    system->setCheckable(true);
    system->setChecked(!selected);
    connect(system, &QAction::triggered, this, [this] { m_devices.setSelectedDeviceUID(std::nullopt); });
    m_menu->addSeparator();
    for (const AudioInputDevice& device : m_devices.devices()) {
        const QString title = device.isBuiltIn ? device.name + QStringLiteral(" (Built-in)") : device.name;
        QAction* item = m_menu->addAction(title);
        item->setCheckable(true);
        item->setChecked(selected && *selected == device.uid);
        connect(item, &QAction::triggered, this, [this, uid = device.uid] { m_devices.setSelectedDeviceUID(uid); });
    }
}

} // namespace velmora
