#include "PopoverPlacement.h"

#include <algorithm>

namespace MenuBarPopover {

QRect popoverFrame(const QRect& anchor, const QSize& size, const QRect& available, PopoverEdge preferredEdge, int gap)
{
    const int belowY = anchor.bottom() + 1 + gap;
    const int aboveY = anchor.top() - gap - size.height();
    const bool fitsBelow = belowY + size.height() <= available.bottom() + 1;
    const bool fitsAbove = aboveY >= available.top();
    int y;
    if (preferredEdge == PopoverEdge::below)
        y = fitsBelow || !fitsAbove ? belowY : aboveY;
    else
        y = fitsAbove || !fitsBelow ? aboveY : belowY;
    // A tray at the side of the screen: the popover goes beside the anchor's row.
    const auto clamp = [](int value, int low, int high) { return high < low ? low : std::clamp(value, low, high); };
    const int x = clamp(anchor.center().x() - size.width() / 2, available.left(), available.right() + 1 - size.width());
    y = clamp(y, available.top(), available.bottom() + 1 - size.height());
    return QRect(QPoint(x, y), size);
}

} // namespace MenuBarPopover
