#include "UinputKeyInjector.h"

#include "X11Connection.h"
#include "X11Keymap.h"

#include <QFile>
#include <QMutex>
#include <QThread>

#include <linux/uinput.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace velmora::platform {
namespace {

constexpr std::uint32_t evdevOffset = 8; // X key codes are evdev codes plus 8

// One device for the whole run: a keyboard that appears anew for each paste
// would lose its first keys while the compositor is still taking it in.
struct VirtualKeyboard {
    QMutex lock;
    QString path;
    int fd = -1;

    ~VirtualKeyboard()
    {
        if (fd >= 0) {
            ::ioctl(fd, UI_DEV_DESTROY);
            ::close(fd);
        }
    }
    bool open(const QString& device)
    {
        if (fd >= 0 && path == device)
            return true;
        const int opened = ::open(QFile::encodeName(device).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (opened < 0)
            return false;
        bool ready = ::ioctl(opened, UI_SET_EVBIT, EV_KEY) == 0 && ::ioctl(opened, UI_SET_EVBIT, EV_SYN) == 0;
        for (int key = KEY_ESC; ready && key <= KEY_MICMUTE; ++key)
            ready = ::ioctl(opened, UI_SET_KEYBIT, key) == 0;
        uinput_setup setup{};
        setup.id.bustype = BUS_VIRTUAL;
        std::strncpy(setup.name, "Velmora paste keys", UINPUT_MAX_NAME_SIZE - 1);
        ready = ready && ::ioctl(opened, UI_DEV_SETUP, &setup) == 0 && ::ioctl(opened, UI_DEV_CREATE) == 0;
        if (!ready) {
            ::close(opened);
            return false;
        }
        fd = opened;
        path = device;
        QThread::msleep(200); // the compositor opens the new device
        return true;
    }
};

VirtualKeyboard& virtualKeyboard()
{
    static VirtualKeyboard keyboard;
    return keyboard;
}

input_event event(std::uint16_t type, std::uint16_t code, std::int32_t value)
{
    input_event made{};
    made.type = type;
    made.code = code;
    made.value = value;
    return made;
}

// The keys typing Control, Shift, "v" and Insert on the session's layout, where XWayland tells it.
UinputKeyInjector::Keys keysOfLayout()
{
    UinputKeyInjector::Keys keys;
    const auto connection = x11ConnectClient();
    if (!connection || !X11Keymap::setUpExtension(connection.get()))
        return keys;
    const auto keymap = X11Keymap::load(connection.get());
    if (!keymap)
        return keys;
    const auto evdev = [&](std::uint32_t keysym, std::uint16_t fallback) {
        const std::uint32_t code = keymap->keyCodeTyping(keysym);
        return code > evdevOffset ? std::uint16_t(code - evdevOffset) : fallback;
    };
    keys.control = evdev(XKB_KEY_Control_L, keys.control);
    keys.shift = evdev(XKB_KEY_Shift_L, keys.shift);
    keys.v = evdev(XKB_KEY_v, keys.v);
    keys.insert = evdev(XKB_KEY_Insert, keys.insert);
    return keys;
}

} // namespace

UinputKeyInjector::UinputKeyInjector(QString device)
    : m_device(std::move(device))
{
}

bool UinputKeyInjector::canPost()
{
    return ::access(QFile::encodeName(m_device).constData(), W_OK) == 0;
}

std::vector<input_event> UinputKeyInjector::eventsFor(PasteChord chord, const Keys& keys)
{
    const auto evdev = [&](std::uint32_t keysym) -> std::uint16_t {
        switch (keysym) {
        case XKB_KEY_Control_L:
            return keys.control;
        case XKB_KEY_Shift_L:
            return keys.shift;
        case XKB_KEY_Insert:
            return keys.insert;
        default:
            return keys.v;
        }
    };
    const ChordKeys chordKeys = keysOf(chord);
    std::vector<std::uint16_t> held;
    for (const std::uint32_t keysym : chordKeys.held)
        held.push_back(evdev(keysym));
    const std::uint16_t key = evdev(chordKeys.key);
    std::vector<input_event> events;
    const auto press = [&](std::uint16_t code, int value) {
        events.push_back(event(EV_KEY, code, value));
        events.push_back(event(EV_SYN, SYN_REPORT, 0));
    };
    for (std::uint16_t modifier : held)
        press(modifier, 1);
    press(key, 1);
    press(key, 0);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        press(*it, 0);
    return events;
}

std::optional<KeyInjectionError> UinputKeyInjector::paste(PasteChord chord, std::chrono::milliseconds,
                                                          const PasteGate& beforeKeys)
{
    if (beforeKeys && !beforeKeys())
        return KeyInjectionError::withdrawn;
    VirtualKeyboard& keyboard = virtualKeyboard();
    const QMutexLocker locker(&keyboard.lock);
    if (!keyboard.open(m_device))
        return KeyInjectionError::unavailable;
    for (const input_event& each : eventsFor(chord, keysOfLayout())) {
        if (::write(keyboard.fd, &each, sizeof each) != ssize_t(sizeof each))
            return KeyInjectionError::refused;
    }
    return std::nullopt;
}

} // namespace velmora::platform
