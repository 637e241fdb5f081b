#include "SelectionOwnerPasteboard.h"

#include "SelectionSnapshot.h"

#include "Platform/TransientMarkers.h"

namespace velmora {
namespace {

// Text under the names Wayland and X11 programs ask for.
std::vector<platform::SelectionFormat> textFormats(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    std::vector<platform::SelectionFormat> formats;
    for (const char* type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING", "TEXT"})
        formats.push_back({QString::fromLatin1(type), utf8});
    return formats;
}

} // namespace

SelectionOwnerPasteboard::SelectionOwnerPasteboard(platform::Selection selection,
                                                   std::shared_ptr<platform::SelectionOwner> owner,
                                                   std::shared_ptr<platform::SelectionReader> reader, QObject* parent)
    : QObject(parent)
    , m_selection(selection)
    , m_owner(std::move(owner))
    , m_reader(std::move(reader))
{
    connect(m_owner.get(), &platform::SelectionOwner::changedElsewhere, this, [this](platform::Selection changed) {
        if (changed == m_selection)
            ++m_changeCount;
    });
}

void SelectionOwnerPasteboard::snapshot(QObject* context, std::function<void(std::optional<PasteboardSnapshot>)> done)
{
    readSelectionSnapshot(m_reader, m_selection, context, std::move(done));
}

void SelectionOwnerPasteboard::own(std::vector<platform::SelectionFormat> formats)
{
    ++m_changeCount;
    m_owner->own(m_selection, std::move(formats));
}

void SelectionOwnerPasteboard::restore(const PasteboardSnapshot& snapshot)
{
    std::vector<platform::SelectionFormat> formats;
    for (const auto& item : snapshot.items)
        for (const auto& entry : item)
            formats.push_back({entry.type, entry.data});
    own(std::move(formats));
}

void SelectionOwnerPasteboard::writeTransientText(const QString& text)
{
    auto formats = textFormats(text);
    formats.insert(formats.end(), platform::transientMarkers().begin(), platform::transientMarkers().end());
    own(std::move(formats));
}

void SelectionOwnerPasteboard::writeText(const QString& text)
{
    own(textFormats(text));
}

} // namespace velmora
