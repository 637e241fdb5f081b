#include "SystemPasteboard.h"

#include "SelectionSnapshot.h"

#include "Platform/TransientMarkers.h"

#include "Platform/LogCategories.h"
#include "Platform/MainThread.h"
#include "Platform/TextDelivery.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QThreadPool>

#include <set>

namespace velmora {
namespace {

// Targets Qt derives from its text: restored through "text/plain", never by name,
// or Qt would offer them empty.
const std::set<QString> textTargets{QStringLiteral("UTF8_STRING"), QStringLiteral("STRING"), QStringLiteral("TEXT"),
                                    QStringLiteral("COMPOUND_TEXT"), QStringLiteral("text/plain")};

} // namespace

SystemPasteboard::SystemPasteboard(platform::Selection selection, std::shared_ptr<platform::SelectionReader> reader,
                                   QObject* parent)
    : QObject(parent)
    , m_mode(selection == platform::Selection::clipboard ? QClipboard::Clipboard : QClipboard::Selection)
    , m_selection(selection)
    , m_reader(reader ? std::move(reader) : std::shared_ptr(platform::TextDelivery::selectionReader()))
{
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        // Our own writes were counted when made; Qt announces them while we write and
        // sometimes once more later, still holding what we wrote. A copy in one of
        // Velmora's own windows (the transcript editor) keeps the selection in this
        // process too, but with other data: that one counts.
        if (mode != m_mode || m_writing)
            return;
        QClipboard* clipboard = QGuiApplication::clipboard();
        const bool ours = m_mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection();
        if (!ours || clipboard->mimeData(m_mode) != m_written)
            ++m_changeCount;
    });
}

void SystemPasteboard::snapshot(QObject* context, std::function<void(std::optional<PasteboardSnapshot>)> done)
{
    readSelectionSnapshot(m_reader, m_selection, context, std::move(done));
}

void SystemPasteboard::write(QMimeData* data)
{
    m_writing = true;
    ++m_changeCount;
    if (data)
        QGuiApplication::clipboard()->setMimeData(data, m_mode);
    else
        QGuiApplication::clipboard()->clear(m_mode);
    m_written = QGuiApplication::clipboard()->mimeData(m_mode);
    m_writing = false;
}

void SystemPasteboard::restore(const PasteboardSnapshot& snapshot)
{
    if (snapshot.isEmpty())
        return write(nullptr);
    auto* data = new QMimeData;
    std::optional<QByteArray> text;
    for (const auto& item : snapshot.items) {
        for (const auto& entry : item) {
            if (!textTargets.count(entry.type)) {
                data->setData(entry.type, entry.data);
            } else if (entry.type == QLatin1String("UTF8_STRING") || entry.type == QLatin1String("text/plain")) {
                text = entry.data;
            } else if (!text && entry.type == QLatin1String("STRING")) {
                text = QString::fromLatin1(entry.data).toUtf8();
            }
        }
    }
    if (text)
        data->setData(QStringLiteral("text/plain"), *text);
    write(data);
}

void SystemPasteboard::writeTransientText(const QString& text)
{
    auto* data = new QMimeData;
    data->setText(text);
    for (const auto& marker : platform::transientMarkers())
        data->setData(marker.name, marker.data);
    write(data);
}

} // namespace velmora

namespace velmora {

void SystemPasteboard::writeText(const QString& text)
{
    auto* data = new QMimeData;
    data->setText(text);
    write(data);
}

} // namespace velmora
