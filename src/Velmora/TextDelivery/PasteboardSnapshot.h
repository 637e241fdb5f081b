#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace velmora {

// One format of what the clipboard holds.
struct PasteboardEntry {
    QString type;
    QByteArray data;

    bool operator==(const PasteboardEntry&) const = default;
};

// Everything a clipboard held: items, each with its formats in the owner's order.
// On X11 there is one item.
struct PasteboardSnapshot {
    QList<QList<PasteboardEntry>> items;

    bool operator==(const PasteboardSnapshot&) const = default;
    bool isEmpty() const;
};

} // namespace velmora
