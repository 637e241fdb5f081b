#pragma once

#include "MenuBarStatusItem.h"
#include "PopoverEdge.h"

#include <functional>

namespace MenuBarPopover {

class Popover;

namespace MenuBarPopoverController {

// Opens or closes a popover from its tray item. True when showing was started
// (it may complete later, once the item is on screen), false when it closed it.
bool toggle(Popover& popover, const MenuBarStatusItem& item, PopoverEdge preferredEdge, bool activateAppOnShow,
            const std::function<void()>& onWillShow = {});

// Shows the popover (or, in its windowed form, the window) and raises it.
void present(Popover& popover, const MenuBarStatusItem& item, PopoverEdge preferredEdge, bool activateAppOnShow);

} // namespace MenuBarPopoverController

} // namespace MenuBarPopover
