#pragma once

#include "PopoverEdge.h"

#include <QRect>

namespace MenuBarPopover {

// The popover's frame for an item at `anchor` on a screen whose usable area is
// `available`: centred on the item, on the preferred side when it fits there,
// otherwise on the other, and always wholly on the screen.
QRect popoverFrame(const QRect& anchor, const QSize& size, const QRect& available, PopoverEdge preferredEdge,
                   int gap = 4);

} // namespace MenuBarPopover
