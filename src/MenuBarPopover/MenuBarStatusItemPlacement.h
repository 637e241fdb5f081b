#pragma once

#include "MenuBarStatusItem.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <chrono>
#include <functional>

namespace MenuBarPopover {

class Popover;

// Waits until the tray item is really on screen before a popover is shown next
// to it: right after start, or while the tray rearranges, it may have no place yet.
class MenuBarStatusItemPlacement : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds retryInterval{50};
    static constexpr int retryLimit = 40;

    static MenuBarStatusItemPlacement& shared();

    void cancel(const Popover* popover);
    // Runs `perform` with the rectangle to place against (the item's, or the
    // pointer's for a tray that gives none) as soon as there is one; gives up
    // silently after `retriesLeft` retries. The item must outlive the attempt
    // or cancel it.
    void attempt(const MenuBarStatusItem& item, Popover* popover, int retriesLeft, std::function<void(QRect)> perform);

    bool hasPendingRetry(const Popover* popover) const { return m_pendingRetries.contains(popover); }
    int pendingRetryCount() const { return m_pendingRetries.size(); }

private:
    QHash<const Popover*, QUuid> m_pendingRetries;
};

} // namespace MenuBarPopover
