#pragma once

#include "PasteboardAccess.h"

#include "Platform/SelectionOwner.h"
#include "Platform/SelectionReader.h"

#include <memory>

namespace velmora {

// A selection Velmora reads and owns through the platform's own owner (Wayland
// data control), not through the toolkit: every format is kept on restore,
// the password-manager hint included.
class SelectionOwnerPasteboard : public QObject, public PasteboardAccess {
    Q_OBJECT
public:
    SelectionOwnerPasteboard(platform::Selection selection, std::shared_ptr<platform::SelectionOwner> owner,
                             std::shared_ptr<platform::SelectionReader> reader, QObject* parent = nullptr);

    qint64 changeCount() const override { return m_changeCount; }
    void snapshot(QObject* context, std::function<void(std::optional<PasteboardSnapshot>)> done) override;
    void restore(const PasteboardSnapshot& snapshot) override;
    void writeTransientText(const QString& text) override;
    void writeText(const QString& text) override;

private:
    void own(std::vector<platform::SelectionFormat> formats);

    platform::Selection m_selection;
    std::shared_ptr<platform::SelectionOwner> m_owner;
    std::shared_ptr<platform::SelectionReader> m_reader;
    qint64 m_changeCount = 0;
};

} // namespace velmora
