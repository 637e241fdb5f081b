#include "WaylandSelectionOwner.h"

#include "FileDescriptor.h"
#include "WaylandDataControl.h"
#include "WaylandDataControlConnection.h"

#include "Platform/LogCategories.h"
#include "Platform/TransientMarkers.h"

#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThreadPool>

#include <wayland-client.h>

#include <algorithm>

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
    handOver();
    for (auto it = m_sources.cbegin(); it != m_sources.cend(); ++it)
        dataControl::destroySource(it.key());
}

void WaylandSelectionOwner::handOver()
{
    // What Velmora owns would vanish with it (Wayland has no clipboard-manager hand-over), and that may be
    // the user's own clipboard, put back after a paste. wl-copy keeps serving it from the background: one
    // format, the text where there is text.
    if (!m_connection || !m_current.value(int(Selection::clipboard)))
        return;
    // A copy made elsewhere a moment ago must not be overwritten: hear the compositor out first.
    if (wl_display_roundtrip(m_connection->display()) < 0)
        return;
    const auto found = m_sources.constFind(m_current.value(int(Selection::clipboard)));
    if (found == m_sources.cend() || found->formats.empty())
        return;
    const Source* owned = &found.value();
    // A password manager's entry, or a paste's own text: no history may keep it, and wl-copy
    // would serve it without its marker.
    if (carriesTransientMarker(owned->formats))
        return;
    const SelectionFormat* chosen = &owned->formats.front();
    for (const char* text : {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain"}) {
        const auto found = std::find_if(owned->formats.cbegin(), owned->formats.cend(),
                                        [&](const SelectionFormat& f) { return f.name == QLatin1String(text); });
        if (found != owned->formats.cend()) {
            chosen = &*found;
            break;
        }
    }
    const QString copier = QStandardPaths::findExecutable(QStringLiteral("wl-copy"));
    if (copier.isEmpty()) {
        qCWarning(logging::session) << "the clipboard goes with Velmora: wl-copy is not installed";
        return;
    }
    // Through a pipe: the clipboard's contents never touch a shared folder. wl-copy returns once the
    // clipboard is its own and serves on from the background. Waited for, so a copy the user makes
    // after Velmora has gone is never overwritten by this one arriving late.
    QProcess copy;
    copy.setProgram(copier);
    copy.setArguments({QStringLiteral("--type"), chosen->name});
    copy.setStandardOutputFile(QProcess::nullDevice());
    copy.setStandardErrorFile(QProcess::nullDevice());
    copy.start();
    if (!copy.waitForStarted(2000)) {
        qCWarning(logging::session) << "the clipboard goes with Velmora: wl-copy did not start";
        return;
    }
    copy.write(chosen->data);
    copy.closeWriteChannel();
    if (!copy.waitForFinished(2000))
        qCWarning(logging::session) << "wl-copy did not take the clipboard over in time";
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
    m_current[int(selection)] = source;
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
    for (auto it = m_current.begin(); it != m_current.end(); ++it)
        if (it.value() == source)
            it.value() = nullptr;
    dataControl::destroySource(source);
}

} // namespace velmora::platform
