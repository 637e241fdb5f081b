#include "MenuBarPopoverController.h"

#include "MenuBarPopoverCloseMonitor.h"
#include "MenuBarStatusItemPlacement.h"
#include "Popover.h"

#include <QPointer>

namespace MenuBarPopover::MenuBarPopoverController {

namespace {

void activate(Popover& popover)
{
    popover.activate();
}

} // namespace

void present(Popover& popover, const MenuBarStatusItem& item, PopoverEdge preferredEdge, bool activateAppOnShow)
{
    auto& placement = MenuBarStatusItemPlacement::shared();
    placement.cancel(&popover);
    if (popover.isWindowed()) {
        popover.showWindowed();
        activate(popover);
        return;
    }
    QPointer<Popover> guarded(&popover);
    placement.attempt(item, &popover, MenuBarStatusItemPlacement::retryLimit,
                      [guarded, &item, preferredEdge, activateAppOnShow](QRect anchor) {
                          if (!guarded)
                              return;
                          guarded->showRelativeTo(anchor, preferredEdge);
                          MenuBarPopoverCloseMonitor::shared().install(guarded, &item, false);
                          if (activateAppOnShow)
                              activate(*guarded);
                      });
}

bool toggle(Popover& popover, const MenuBarStatusItem& item, PopoverEdge preferredEdge, bool activateAppOnShow,
            const std::function<void()>& onWillShow)
{
    if (popover.isShown()) {
        MenuBarStatusItemPlacement::shared().cancel(&popover);
        popover.performClose();
        return false;
    }
    if (onWillShow)
        onWillShow();
    present(popover, item, preferredEdge, activateAppOnShow);
    return true;
}

} // namespace MenuBarPopover::MenuBarPopoverController
