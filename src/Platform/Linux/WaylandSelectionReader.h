#pragma once

#include "Platform/SelectionReader.h"

namespace velmora::platform {

// Reads every format of a Wayland selection through data control, over a
// connection of its own for each read. Blocks: off the main thread.
class WaylandSelectionReader : public SelectionReader {
public:
    std::variant<std::vector<SelectionFormat>, SelectionReadError> read(Selection selection, Limits limits) override;
};

} // namespace velmora::platform
