#pragma once

#include "SelectionReader.h"

#include <QObject>

namespace velmora::platform {

// Owns a selection for the whole session, offering the formats it was given
// until another program takes it. Main thread.
class SelectionOwner : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isAvailable() const = 0;
    // No formats: the selection is cleared.
    virtual void own(Selection selection, std::vector<SelectionFormat> formats) = 0;

signals:
    // Another program changed the selection (Velmora's own changes are not told).
    void changedElsewhere(velmora::platform::Selection selection);
};

} // namespace velmora::platform
