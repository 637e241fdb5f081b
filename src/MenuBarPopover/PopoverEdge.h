#pragma once

namespace MenuBarPopover {

// Where the popover sits relative to its item; it flips when there is no room.
enum class PopoverEdge { below, above };

} // namespace MenuBarPopover
