// From an XTest key press of another client to Velmora's hot-key callback on the
// main thread, over 100 presses of Control+Space. Run inside the rig with --x11.
#include "HotKeyCore/GlobalHotKeyManager.h"
#include "HotKeyCore/HotKeySettings.h"
#include "Platform/ActivationInput.h"
#include "Platform/Linux/X11KeyCodes.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    xcb_connection_t* typist = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(typist)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    HotKeyCore::GlobalHotKeyManager manager("VLHR");
    if (!manager.registerSettings(HotKeyCore::HotKeySettings())) {
        std::fprintf(stderr, "Control+Space could not be registered\n");
        return 1;
    }
    const auto control = static_cast<std::uint8_t>(*velmora::platform::x11KeyCode(59));
    const auto space = static_cast<std::uint8_t>(*velmora::platform::x11KeyCode(49));
    const auto fake = [&](std::uint8_t type, std::uint8_t key) {
        xcb_test_fake_input(typist, type, key, 0, XCB_NONE, 0, 0, 0);
    };

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::chrono::steady_clock::time_point pressed, arrived;
    bool fired = false;
    manager.onHotKeyPressed = [&] {
        arrived = std::chrono::steady_clock::now();
        fired = true;
        loop.quit();
    };
    std::vector<double> microseconds;
    int missed = 0;
    for (int i = 0; i < 100; ++i) {
        fake(XCB_KEY_PRESS, control);
        std::free(xcb_get_input_focus_reply(typist, xcb_get_input_focus(typist), nullptr));
        pressed = std::chrono::steady_clock::now();
        fake(XCB_KEY_PRESS, space);
        xcb_flush(typist);
        fired = false;
        limit.start(2000);
        loop.exec();
        limit.stop();
        if (fired)
            microseconds.push_back(std::chrono::duration<double, std::micro>(arrived - pressed).count());
        else
            ++missed;
        fake(XCB_KEY_RELEASE, space);
        fake(XCB_KEY_RELEASE, control);
        std::free(xcb_get_input_focus_reply(typist, xcb_get_input_focus(typist), nullptr));
        QCoreApplication::processEvents();
    }
    xcb_disconnect(typist);
    if (microseconds.empty() || missed) {
        std::fprintf(stderr, "%d of 100 presses never arrived\n", missed);
        return 1;
    }
    std::sort(microseconds.begin(), microseconds.end());
    std::printf("hot key press -> callback over %zu presses: median %.0f us, 90th %.0f us, worst %.0f us\n",
                microseconds.size(), microseconds[microseconds.size() / 2], microseconds[microseconds.size() * 9 / 10],
                microseconds.back());
    return 0;
}
