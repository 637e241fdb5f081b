#pragma once

#include "PasteboardSnapshot.h"

#include "Platform/SelectionReader.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

// Reads a selection whole on the text-delivery pool; `done` runs on the main
// thread while `context` lives, with nothing when it could not be read.
void readSelectionSnapshot(std::shared_ptr<platform::SelectionReader> reader, platform::Selection selection,
                           QObject* context, std::function<void(std::optional<PasteboardSnapshot>)> done);

} // namespace velmora
