#pragma once

#include "PasteboardAccess.h"

#include "Platform/SelectionReader.h"

#include <QClipboard>

#include <memory>

namespace velmora {

// An X11 selection (CLIPBOARD, or PRIMARY for terminals that paste it). Reads go
// through a connection of their own on a worker thread, bounded in time and size;
// writes go through Qt, which serves them and hands them to a clipboard manager
// when Velmora quits.
class SystemPasteboard : public QObject, public PasteboardAccess {
    Q_OBJECT
public:
    // The marker most clipboard histories honour; transientMarkers() lists them all.
    static inline const QString transientType = QStringLiteral("x-kde-passwordManagerHint");

    explicit SystemPasteboard(platform::Selection selection = platform::Selection::clipboard,
                              std::shared_ptr<platform::SelectionReader> reader = {}, QObject* parent = nullptr);

    qint64 changeCount() const override { return m_changeCount; }
    void snapshot(QObject* context, std::function<void(std::optional<PasteboardSnapshot>)> done) override;
    void restore(const PasteboardSnapshot& snapshot) override;
    void writeTransientText(const QString& text) override;
    void writeText(const QString& text) override;

private:
    void write(QMimeData* data);

    QClipboard::Mode m_mode;
    platform::Selection m_selection;
    std::shared_ptr<platform::SelectionReader> m_reader;
    qint64 m_changeCount = 0;
    bool m_writing = false;
    const void* m_written = nullptr; // the data of our last write, while Qt holds it
};

} // namespace velmora
