#include "WaylandSelectionOwner.h"

#include "FileDescriptor.h"
#include "WaylandDataControl.h"
#include "WaylandDataControlConnection.h"

#include "Platform/LogCategories.h"

#include <QSocketNotifier>
#include <QThreadPool>

#include <wayland-client.h>

#include <fcntl.h>
#include <unistd.h>

namespace velmora::platform {

WaylandSelectionOwner::WaylandSelectionOwner(QObject* parent)
    : SelectionOwner(parent)
    , m_connection(WaylandDataControlConnection::open())
{
    if (!m_connection)
        return;
    m_connection->selectionChanged = [this](Selection selection) {
        int& echoes = m_echoes[int(selection)];
        if (echoes > 0)
            --echoes;
        else
            emit changedElsewhere(selection);
    };
    m_notifier = new QSocketNotifier(wl_display_get_fd(m_connection->display()), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &WaylandSelectionOwner::readEvents);
}

WaylandSelectionOwner::~WaylandSelectionOwner()
{
    for (auto it = m_sources.cbegin(); it != m_sources.cend(); ++it)
        dataControl::destroySource(it.key());
}

void WaylandSelectionOwner::own(Selection selection, std::vector<SelectionFormat> formats)
{
    if (!m_connection || (selection == Selection::primary && !m_connection->hasPrimarySelection()))
        return;
    wl_proxy* source = nullptr;
    if (!formats.empty()) {
        source = dataControl::createDataSource(m_connection->manager());
        static const dataControl::SourceListener listener{
            [](void* data, wl_proxy* source, const char* mimeType, int32_t fd) {
                static_cast<WaylandSelectionOwner*>(data)->send(source, mimeType, fd);
            },
            [](void* data, wl_proxy* source) { static_cast<WaylandSelectionOwner*>(data)->cancelled(source); },
        };
        wl_proxy_add_listener(source, reinterpret_cast<void (**)(void)>(const_cast<dataControl::SourceListener*>(&listener)), this);
        for (const SelectionFormat& format : formats)
            dataControl::offerType(source, format.name.toUtf8().constData());
        m_sources.insert(source, {selection, std::move(formats)});
    }
    // Clearing an empty selection changes nothing, so the compositor says nothing either.
    if (source || m_connection->offer(selection))
        ++m_echoes[int(selection)];
    if (selection == Selection::clipboard)
        dataControl::setSelection(m_connection->device(), source);
    else
        dataControl::setPrimarySelection(m_connection->device(), source);
    wl_display_flush(m_connection->display());
}

void WaylandSelectionOwner::readEvents()
{
    if (!m_connection->dispatchPending()) {
        qCWarning(logging::session) << "the compositor closed the clipboard connection";
        m_notifier->setEnabled(false);
    }
}

void WaylandSelectionOwner::send(wl_proxy* source, const char* mimeType, int fd)
{
    FileDescriptor target(fd);
    const auto found = m_sources.constFind(source);
    if (found == m_sources.cend())
        return;
    const QString type = QString::fromUtf8(mimeType);
    QByteArray data;
    for (const SelectionFormat& format : found->formats) {
        if (format.name == type) {
            data = format.data;
            break;
        }
    }
    // The reader may be slow or never read at all: its pipe is written elsewhere.
    QThreadPool::globalInstance()->start([target = std::make_shared<FileDescriptor>(std::move(target)), data] {
        ::fcntl(target->get(), F_SETFL, ::fcntl(target->get(), F_GETFL) & ~O_NONBLOCK);
        for (qsizetype written = 0; written < data.size();) {
            const ssize_t sent = ::write(target->get(), data.constData() + written, size_t(data.size() - written));
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return; // the reader went away
            written += sent;
        }
    });
}

void WaylandSelectionOwner::cancelled(wl_proxy* source)
{
    // Another program took the selection (told by its own selection event) or ours was replaced.
    m_sources.remove(source);
    dataControl::destroySource(source);
}

} // namespace velmora::platform
