#pragma once

#include "Platform/ModifierTapSource.h"

#include <QString>
#include <QStringList>

#include <linux/input.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace velmora::platform {

// Modifier keys read straight from the keyboards' event devices
// (/dev/input/event*), for Wayland sessions where no X11 client sees other
// windows' keys. Needs read access to the devices (the input group).
class EvdevModifierTapSource : public ModifierTapSource {
    Q_OBJECT
public:
    // `devices`: what to read; by default every device that looks like a keyboard.
    explicit EvdevModifierTapSource(std::optional<QStringList> devices = std::nullopt, QObject* parent = nullptr);
    ~EvdevModifierTapSource() override;

    bool canObserve() const override;
    bool start() override;
    void stop() override;

    // The keyboards among the event devices that this user may read.
    static QStringList keyboardDevices(const QString& folder = QStringLiteral("/dev/input"));
    // Whether a device's key capabilities (EVIOCGBIT of EV_KEY) are those of a
    // keyboard with modifiers and letters, not a power button or a mouse.
    static bool looksLikeKeyboard(const std::vector<unsigned long>& keyBits);

    // One device's events in, the session's modifier flags out: the flags after
    // a modifier went down or up, nothing for any other event (repeats included).
    class Tracker {
    public:
        std::optional<std::uint64_t> feed(int device, const input_event& event);
        static double seconds(const input_event& event);

    private:
        std::map<std::pair<int, int>, bool> m_down; // (device, key code)
    };

private:
    void readDevice(int index);

    QStringList m_devices;
    bool m_explicitDevices = false;
    struct Open {
        int fd = -1;
        QSocketNotifier* notifier = nullptr;
    };
    std::vector<Open> m_open;
    Tracker m_tracker;
};

} // namespace velmora::platform
