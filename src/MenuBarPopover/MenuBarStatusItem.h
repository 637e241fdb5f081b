#pragma once

#include <QRect>

#include <optional>

namespace MenuBarPopover {

// The tray item a popover opens from, as far as the tray lets us see it.
class MenuBarStatusItem {
public:
    virtual ~MenuBarStatusItem() = default;
    // The item's rectangle in screen coordinates, once it is on screen.
    virtual std::optional<QRect> buttonScreenRect() const = 0;
    // False for trays that never tell where the item is (StatusNotifierItem):
    // the popover then opens at the pointer.
    virtual bool reportsGeometry() const = 0;
};

} // namespace MenuBarPopover
