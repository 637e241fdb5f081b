#pragma once

#include "PasteboardSnapshot.h"

#include <QObject>

#include <functional>
#include <optional>

namespace velmora {

// What the inserter needs of a clipboard.
class PasteboardAccess {
public:
    virtual ~PasteboardAccess() = default;

    // Moves on every change, Velmora's own writes included (once each).
    virtual qint64 changeCount() const = 0;
    // Everything it holds, read without blocking the caller; `done` runs on the
    // main thread while `context` lives, with nothing when it could not be read
    // whole (a frozen owner, too much data).
    virtual void snapshot(QObject* context, std::function<void(std::optional<PasteboardSnapshot>)> done) = 0;
    virtual void restore(const PasteboardSnapshot& snapshot) = 0;
    // The text alone, marked so clipboard histories skip it.
    virtual void writeTransientText(const QString& text) = 0;
    // The text alone, as a copy the user asked for.
    virtual void writeText(const QString& text) = 0;
};

} // namespace velmora
