#include "Popover.h"

#include "PopoverPlacement.h"

#include <QCloseEvent>
#include <QMoveEvent>
#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QPainter>
#include <QWindow>

#include "Platform/WindowActivation.h"
#include <QScreen>
#include <QVBoxLayout>

namespace MenuBarPopover {

Popover::Popover(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("popover"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    applyWindowFlags();
}

Popover::~Popover() = default;

void Popover::applyWindowFlags()
{
    const bool wasVisible = isVisible();
    if (m_windowed)
        setWindowFlags(Qt::Window);
    else
        setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    if (wasVisible)
        show();
}

void Popover::setWindowed(bool windowed)
{
    if (m_windowed == windowed)
        return;
    m_windowed = windowed;
    applyWindowFlags();
}

void Popover::setContent(QWidget* content)
{
    if (m_content == content)
        return;
    delete m_content;
    m_content = content;
    if (content)
        layout()->addWidget(content);
}

void Popover::setContentSize(const QSize& size)
{
    // The border is drawn around the content, one pixel each side.
    setFixedSize(size + QSize(2, 2));
}

void Popover::showRelativeTo(const QRect& anchor, PopoverEdge preferredEdge)
{
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size());
    const QRect frame = popoverFrame(anchor, size(), available, preferredEdge);
    m_placement = frame.topLeft();
    move(frame.topLeft());
    show();
}

void Popover::showWindowed()
{
    show();
}

void Popover::performClose()
{
    if (isVisible())
        hide();
}

void Popover::activate()
{
    raise();
    if (m_awaitingExpose) {
        // A window manager ignores a request for a window it has not mapped yet.
        m_activateWhenExposed = true;
        return;
    }
    activateNow();
}

void Popover::activateNow()
{
    activateWindow();
    velmora::platform::WindowActivation::activate(winId());
    // Hidden while it had the focus, the window kept the toolkit's focus, so getting
    // it back is no change the toolkit reports, and no widget would take keys.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && QGuiApplication::focusWindow() == windowHandle() && QApplication::activeWindow() != this)
            QApplication::setActiveWindow(this);
    });
}

void Popover::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    m_awaitingExpose = true;
    if (QWindow* window = windowHandle())
        window->installEventFilter(this);
}

bool Popover::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed()
        && m_awaitingExpose) {
        m_awaitingExpose = false;
        windowHandle()->removeEventFilter(this);
        if (std::exchange(m_activateWhenExposed, false))
            activateNow();
    }
    return QWidget::eventFilter(watched, event);
}

void Popover::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (!m_placement || !event->spontaneous() || !isVisible())
        return;
    // A window manager may place a window it maps by its own rules; asked again, once, it moves it.
    const QPoint wanted = *std::exchange(m_placement, std::nullopt);
    if (pos() != wanted)
        move(wanted);
}

void Popover::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_placement.reset();
    m_activateWhenExposed = false;
    m_awaitingExpose = false;
    // Spontaneous hides come from the window system (minimising); only a real close counts.
    if (!event->spontaneous())
        emit didClose();
}

void Popover::closeEvent(QCloseEvent* event)
{
    // The window's close button hides it; the application goes on in the tray.
    event->ignore();
    hide();
}

void Popover::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!m_windowed) {
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace MenuBarPopover
