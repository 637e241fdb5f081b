#include "WaylandSelectionReader.h"

#include "FileDescriptor.h"
#include "WaylandDataControl.h"
#include "WaylandDataControlConnection.h"

#include <QDeadlineTimer>

#include <wayland-client.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace velmora::platform {

std::variant<std::vector<SelectionFormat>, SelectionReadError> WaylandSelectionReader::read(Selection selection,
                                                                                          Limits limits)
{
    const auto connection = WaylandDataControlConnection::open();
    if (!connection)
        return SelectionReadError::noDisplay;
    std::vector<SelectionFormat> formats;
    wl_proxy* offer = connection->offer(selection);
    if (!offer)
        return formats;
    const QDeadlineTimer deadline(limits.time);
    qint64 total = 0;
    for (const QString& type : connection->typesOf(offer)) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return SelectionReadError::noDisplay;
        FileDescriptor readEnd(ends[0]);
        {
            FileDescriptor writeEnd(ends[1]);
            dataControl::receive(offer, type.toUtf8().constData(), writeEnd.get());
            if (wl_display_flush(connection->display()) < 0)
                return SelectionReadError::noDisplay;
        } // the owner holds its own copy; ours must go, or the end of the data never shows
        QByteArray data;
        for (;;) {
            pollfd ready{readEnd.get(), POLLIN, 0};
            const int waited = ::poll(&ready, 1, int(std::max<qint64>(deadline.remainingTime(), 0)));
            if (waited == 0)
                return SelectionReadError::timedOut; // a frozen owner
            if (waited < 0) {
                if (errno == EINTR)
                    continue;
                return SelectionReadError::noDisplay;
            }
            char buffer[65536];
            const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
            if (got == 0)
                break;
            if (got < 0) {
                if (errno == EINTR || errno == EAGAIN)
                    continue;
                break;
            }
            total += got;
            if (total > limits.bytes)
                return SelectionReadError::tooLarge;
            data.append(buffer, got);
        }
        // A type the owner sent nothing for is left out, as an X11 owner's refusal is.
        if (!data.isEmpty())
            formats.push_back({type, data});
    }
    return formats;
}

} // namespace velmora::platform
