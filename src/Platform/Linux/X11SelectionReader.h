#pragma once

#include "Platform/SelectionReader.h"

namespace velmora::platform {

// ConvertSelection on a connection of its own, made for each read, so a read on a
// worker thread shares nothing with the main thread; INCR transfers included.
class X11SelectionReader final : public SelectionReader {
public:
    std::variant<std::vector<SelectionFormat>, SelectionReadError> read(Selection selection, Limits limits) override;
};

} // namespace velmora::platform
