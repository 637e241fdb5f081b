// A clipboard manager as small as the handover needs: owns CLIPBOARD_MANAGER, and
// when a quitting program asks it to SAVE_TARGETS, reads every format of the
// clipboard, writes them to <file> (name TAB base64, one per line) and answers.
//   ClipboardManager <file>
#include "Platform/Linux/X11Connection.h"
#include "Platform/Linux/X11SelectionReader.h"

#include <QCoreApplication>
#include <QFile>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

using namespace velmora::platform;

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2)
        return 64;
    const X11Client connection = x11ConnectClient();
    if (!connection)
        return 69;
    xcb_connection_t* c = connection.get();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const std::uint32_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const std::uint32_t manager = x11Atom(c, "CLIPBOARD_MANAGER");
    const std::uint32_t saveTargets = x11Atom(c, "SAVE_TARGETS");
    xcb_set_selection_owner(c, window, manager, XCB_CURRENT_TIME);
    x11RoundTrip(c);
    std::puts("ready");
    std::fflush(stdout);

    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST) {
            std::free(event);
            continue;
        }
        const auto request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
        std::free(event);
        if (request.target != saveTargets)
            continue;
        // The quitting program serves its clipboard while it waits for our answer.
        auto contents = X11SelectionReader().read(Selection::clipboard, {});
        QFile out(QString::fromLocal8Bit(argv[1]));
        if (auto* formats = std::get_if<std::vector<SelectionFormat>>(&contents); formats && out.open(QIODevice::WriteOnly)) {
            for (const auto& format : *formats)
                out.write(format.name.toUtf8() + '\t' + format.data.toBase64() + '\n');
        }
        out.close();
        xcb_selection_notify_event_t notice{};
        notice.response_type = XCB_SELECTION_NOTIFY;
        notice.time = request.time;
        notice.requestor = request.requestor;
        notice.selection = request.selection;
        notice.target = request.target;
        notice.property = request.property;
        xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notice));
        x11RoundTrip(c);
        return std::holds_alternative<SelectionReadError>(contents) ? 1 : 0;
    }
    return 70;
}
