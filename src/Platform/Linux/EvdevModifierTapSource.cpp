#include "EvdevModifierTapSource.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace velmora::platform {
namespace {

constexpr std::uint64_t controlFlag = 0x40000, optionFlag = 0x80000, shiftFlag = 0x20000, commandFlag = 0x100000;
constexpr size_t bitsPerWord = 8 * sizeof(unsigned long);

std::uint64_t flagOf(int code)
{
    switch (code) {
    case KEY_LEFTCTRL:
    case KEY_RIGHTCTRL:
        return controlFlag;
    case KEY_LEFTALT:
    case KEY_RIGHTALT:
        return optionFlag;
    case KEY_LEFTSHIFT:
    case KEY_RIGHTSHIFT:
        return shiftFlag;
    case KEY_LEFTMETA:
    case KEY_RIGHTMETA:
        return commandFlag;
    default:
        return 0;
    }
}

bool has(const std::vector<unsigned long>& bits, int code)
{
    const size_t word = size_t(code) / bitsPerWord;
    return word < bits.size() && ((bits[word] >> (size_t(code) % bitsPerWord)) & 1);
}

} // namespace

std::optional<std::uint64_t> EvdevModifierTapSource::Tracker::feed(int device, const input_event& event)
{
    // value 2 is the key repeating while held: nothing changed.
    if (event.type != EV_KEY || flagOf(event.code) == 0 || event.value == 2)
        return std::nullopt;
    m_down[{device, event.code}] = event.value == 1;
    std::uint64_t flags = 0;
    for (const auto& [key, down] : m_down)
        if (down)
            flags |= flagOf(key.second);
    return flags;
}

double EvdevModifierTapSource::Tracker::seconds(const input_event& event)
{
    return double(event.input_event_sec) + double(event.input_event_usec) / 1e6;
}

bool EvdevModifierTapSource::looksLikeKeyboard(const std::vector<unsigned long>& keyBits)
{
    // Letters and a modifier: a keyboard. Power buttons, lid switches and mice have neither.
    return has(keyBits, KEY_A) && has(keyBits, KEY_Z) && has(keyBits, KEY_SPACE)
           && (has(keyBits, KEY_LEFTCTRL) || has(keyBits, KEY_RIGHTCTRL));
}

QStringList EvdevModifierTapSource::keyboardDevices(const QString& folder)
{
    QStringList keyboards;
    const QDir input(folder);
    for (const QString& name : input.entryList({QStringLiteral("event*")}, QDir::System | QDir::Files, QDir::Name)) {
        const QString path = input.filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        std::vector<unsigned long> bits(KEY_MAX / bitsPerWord + 1, 0);
        const bool known = ::ioctl(fd, EVIOCGBIT(EV_KEY, bits.size() * sizeof(unsigned long)), bits.data()) >= 0;
        ::close(fd);
        if (known && looksLikeKeyboard(bits))
            keyboards << path;
    }
    return keyboards;
}

EvdevModifierTapSource::EvdevModifierTapSource(std::optional<QStringList> devices, QObject* parent)
    : ModifierTapSource(parent)
    , m_devices(devices.value_or(QStringList()))
    , m_explicitDevices(devices.has_value())
{
}

EvdevModifierTapSource::~EvdevModifierTapSource()
{
    stop();
}

bool EvdevModifierTapSource::canObserve() const
{
    return m_explicitDevices ? !m_devices.isEmpty() : !keyboardDevices().isEmpty();
}

bool EvdevModifierTapSource::start()
{
    if (!m_open.empty())
        return true;
    // Keyboards plugged in later are found at the next start (the trigger is restarted on each settings change).
    const QStringList devices = m_explicitDevices ? m_devices : keyboardDevices();
    for (const QString& device : devices) {
        const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        const int index = int(m_open.size());
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, index] { readDevice(index); });
        m_open.push_back({fd, notifier});
    }
    return !m_open.empty();
}

void EvdevModifierTapSource::stop()
{
    for (Open& open : m_open) {
        delete open.notifier;
        ::close(open.fd);
    }
    m_open.clear();
    m_tracker = {};
}

void EvdevModifierTapSource::readDevice(int index)
{
    Open& open = m_open[size_t(index)];
    input_event events[64];
    const ssize_t got = ::read(open.fd, events, sizeof events);
    if (got <= 0) {
        if (got == 0 || (errno != EAGAIN && errno != EINTR))
            open.notifier->setEnabled(false); // unplugged
        return;
    }
    for (size_t i = 0; i < size_t(got) / sizeof(input_event); ++i) {
        if (const auto flags = m_tracker.feed(index, events[i]))
            emit modifierFlagsChanged(Tracker::seconds(events[i]), *flags);
    }
}

} // namespace velmora::platform
