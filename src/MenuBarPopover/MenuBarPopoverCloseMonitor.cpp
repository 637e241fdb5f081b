#include "MenuBarPopoverCloseMonitor.h"

#include "Popover.h"

#include "Platform/PointerPressSource.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

namespace MenuBarPopover {

namespace {

bool belongsTo(const QWidget* window, const QWidget* popover)
{
    for (const QWidget* w = window; w; w = w->parentWidget()) {
        if (w == popover)
            return true;
    }
    return false;
}

} // namespace

MenuBarPopoverCloseMonitor::Session::Session(Popover* popover, const MenuBarStatusItem* item, bool closesOnButtonClick,
                                             MenuBarPopoverCloseMonitor& monitor)
    : m_popover(popover)
    , m_item(item)
    , m_closesOnButtonClick(closesOnButtonClick)
    , m_monitor(monitor)
{
    qApp->installEventFilter(this);
}

MenuBarPopoverCloseMonitor::Session::~Session()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool MenuBarPopoverCloseMonitor::Session::shouldCloseForMouseEvent(const QPoint& pointer) const
{
    if (!m_popover || !m_popover->isShown())
        return false;
    const auto button = m_item ? m_item->buttonScreenRect() : std::nullopt;
    const bool onButton = button && button->contains(pointer);
    if (m_closesOnButtonClick && onButton)
        return true;
    if (onButton || m_popover->frameGeometry().contains(pointer))
        return false;
    // The popover's own menus, pickers and dialogs are part of it.
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (window != m_popover && window->isVisible() && belongsTo(window, m_popover)
            && window->frameGeometry().contains(pointer))
            return false;
    }
    return true;
}

void MenuBarPopoverCloseMonitor::Session::closeForMouseEvent(const QPoint& pointer)
{
    if (!m_popover)
        return;
    const auto now = Clock::now();
    const auto button = m_item ? m_item->buttonScreenRect() : std::nullopt;
    if (m_closesOnButtonClick && button && button->contains(pointer))
        m_monitor.m_itemClickCloses.insert(m_popover, now);
    m_monitor.m_mouseCloses.insert(m_popover, now);
    m_popover->performClose();
}

bool MenuBarPopoverCloseMonitor::Session::eventFilter(QObject* watched, QEvent* event)
{
    if (!watched->isWidgetType())
        return false;
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        // A dialog of the popover takes its own Escape.
        if (key.key() == Qt::Key_Escape && key.modifiers() == Qt::NoModifier && m_popover && m_popover->isShown()
            && !QApplication::activeModalWidget() && !QApplication::activePopupWidget()) {
            m_popover->performClose();
            return true;
        }
        return false;
    }
    case QEvent::MouseButtonPress: {
        const QPoint pointer = static_cast<const QMouseEvent&>(*event).globalPosition().toPoint();
        if (shouldCloseForMouseEvent(pointer))
            closeForMouseEvent(pointer);
        return false;
    }
    default:
        return false;
    }
}

MenuBarPopoverCloseMonitor::MenuBarPopoverCloseMonitor(std::unique_ptr<velmora::platform::PointerPressSource> presses)
    : m_presses(std::move(presses))
{
    if (m_presses)
        connect(m_presses.get(), &velmora::platform::PointerPressSource::pressed, this,
                &MenuBarPopoverCloseMonitor::globalPress);
}

MenuBarPopoverCloseMonitor::~MenuBarPopoverCloseMonitor()
{
    qDeleteAll(m_sessions);
}

MenuBarPopoverCloseMonitor& MenuBarPopoverCloseMonitor::shared()
{
    static MenuBarPopoverCloseMonitor monitor(velmora::platform::PointerPressSource::create());
    return monitor;
}

void MenuBarPopoverCloseMonitor::install(Popover* popover, const MenuBarStatusItem* item, bool closesOnButtonClick)
{
    invalidate(popover);
    auto* session = new Session(popover, item, closesOnButtonClick, *this);
    // The closing notice may come from inside the session's own handler: end it afterwards.
    connect(popover, &Popover::didClose, session, [this, popover, session] {
        // Only this session: the popover may have been shown again, with a new one, meanwhile.
        QTimer::singleShot(0, this, [this, popover, guarded = QPointer<Session>(session)] {
            if (guarded && m_sessions.value(popover) == guarded)
                invalidate(popover);
        });
    });
    connect(popover, &QObject::destroyed, this, [this, popover] { invalidate(popover); });
    m_sessions.insert(popover, session);
    updateWatching();
}

void MenuBarPopoverCloseMonitor::invalidate(const Popover* popover)
{
    if (Session* session = m_sessions.take(popover)) {
        session->disconnect();
        delete session;
    }
    updateWatching();
}

void MenuBarPopoverCloseMonitor::updateWatching()
{
    // Presses of the whole session are watched only while a popover waits for one.
    if (!m_presses)
        return;
    if (m_sessions.isEmpty())
        m_presses->stop();
    else
        m_presses->start();
}

void MenuBarPopoverCloseMonitor::globalPress()
{
    const QPoint pointer = QCursor::pos();
    for (Session* session : m_sessions.values()) {
        if (session->shouldCloseForMouseEvent(pointer))
            session->closeForMouseEvent(pointer);
    }
}

std::optional<MenuBarPopoverCloseMonitor::Clock::time_point>
MenuBarPopoverCloseMonitor::itemClickClose(const Popover* popover) const
{
    const auto it = m_itemClickCloses.constFind(popover);
    return it == m_itemClickCloses.cend() ? std::nullopt : std::optional(*it);
}

std::optional<MenuBarPopoverCloseMonitor::Clock::time_point>
MenuBarPopoverCloseMonitor::mouseClose(const Popover* popover) const
{
    const auto it = m_mouseCloses.constFind(popover);
    return it == m_mouseCloses.cend() ? std::nullopt : std::optional(*it);
}

} // namespace MenuBarPopover
