#include "MenuBarStatusItemPlacement.h"

#include "Popover.h"

#include <QCursor>
#include <QTimer>

namespace MenuBarPopover {

MenuBarStatusItemPlacement& MenuBarStatusItemPlacement::shared()
{
    static MenuBarStatusItemPlacement placement;
    return placement;
}

void MenuBarStatusItemPlacement::cancel(const Popover* popover)
{
    // A retry already scheduled finds no token of its own and stops.
    m_pendingRetries.remove(popover);
}

void MenuBarStatusItemPlacement::attempt(const MenuBarStatusItem& item, Popover* popover, int retriesLeft,
                                         std::function<void(QRect)> perform)
{
    if (const auto rect = item.buttonScreenRect(); rect && rect->width() > 0 && rect->height() > 0) {
        perform(*rect);
        return;
    }
    if (!item.reportsGeometry()) {
        perform(QRect(QCursor::pos(), QSize(1, 1)));
        return;
    }
    if (retriesLeft < 1)
        return;
    const QUuid token = QUuid::createUuid();
    m_pendingRetries.insert(popover, token);
    QPointer<Popover> guarded(popover);
    QTimer::singleShot(retryInterval, this, [this, &item, guarded, popover, token, retriesLeft, perform] {
        if (!guarded || m_pendingRetries.value(popover) != token)
            return;
        m_pendingRetries.remove(popover);
        attempt(item, guarded, retriesLeft - 1, perform);
    });
}

} // namespace MenuBarPopover
