#pragma once

#include "TextDelivery/PasteboardAccess.h"

#include <QTimer>

namespace velmora::test {

// A clipboard in memory whose snapshots answer a turn later, as the real one's do.
class MemoryClipboard : public PasteboardAccess {
public:
    qint64 changeCount() const override { return count; }
    void snapshot(QObject* context, std::function<void(std::optional<PasteboardSnapshot>)> done) override
    {
        QTimer::singleShot(0, context, [this, done] { done(contents); });
    }
    void restore(const PasteboardSnapshot& snapshot) override { contents = snapshot, ++count; }
    void writeTransientText(const QString& text) override { contents = {{{{"transient", text.toUtf8()}}}}, ++count; }
    void writeText(const QString& text) override
    {
        contents = {{{{"text/plain", text.toUtf8()}}}}, ++count;
        ++copies;
    }
    QString text() const { return contents.items.isEmpty() ? QString() : QString::fromUtf8(contents.items[0][0].data); }

    PasteboardSnapshot contents;
    qint64 count = 0;
    int copies = 0; // copies asked for
};

} // namespace velmora::test
