#include "AccessoryAppCommandMenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>

namespace AppCommands {

std::unique_ptr<AccessoryAppCommandMenu> AccessoryAppCommandMenu::installQuitMenu(const QString& appName,
                                                                                 bool includeEditingCommands,
                                                                                 std::function<void()> quit)
{
    (void)includeEditingCommands;
    return std::unique_ptr<AccessoryAppCommandMenu>(new AccessoryAppCommandMenu(appName, std::move(quit)));
}

AccessoryAppCommandMenu::AccessoryAppCommandMenu(const QString& appName, std::function<void()> quit)
    : m_quitTitle(QStringLiteral("Quit %1").arg(appName))
    , m_quit(std::move(quit))
{
    m_quitAction = new QAction(m_quitTitle, this);
    // Shown beside the item; the key itself is handled below for every window.
    m_quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quitAction->setShortcutContext(Qt::WidgetShortcut);
    connect(m_quitAction, &QAction::triggered, this, [this] { m_quit(); });
    // An application filter sees the key before any window does, whatever has focus.
    // One installed later (the shortcut recorder while it records) sees it first.
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

AccessoryAppCommandMenu::~AccessoryAppCommandMenu()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

bool AccessoryAppCommandMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const auto modifiers = key.modifiers() & ~Qt::KeypadModifier;
    if (key.key() != Qt::Key_Q || modifiers != Qt::ControlModifier)
        return false;
    if (!key.isAutoRepeat())
        m_quit();
    return true;
}

} // namespace AppCommands
