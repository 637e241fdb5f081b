// The kernel's input devices: double tap from the keyboards' event devices
// (recorded event streams through the tracker and through the real source and
// detector, the devices stood in for by pipes where the machine has none), the
// choice of which devices are keyboards, and paste keys through /dev/uinput.
#include "HotKeys/DoubleTapModifierManager.h"
#include "Platform/Linux/EvdevModifierTapSource.h"
#include "Platform/Linux/UinputKeyInjector.h"

#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::platform;
using namespace std::chrono_literals;

namespace {

constexpr std::uint64_t ctrl = 0x40000, alt = 0x80000, shift = 0x20000, super = 0x100000;

input_event key(double at, int code, int value)
{
    input_event event{};
    event.input_event_sec = long(at);
    event.input_event_usec = long((at - double(long(at))) * 1e6 + 0.5);
    event.type = EV_KEY;
    event.code = std::uint16_t(code);
    event.value = value;
    return event;
}

input_event sync(double at)
{
    input_event event = key(at, 0, 0);
    event.type = EV_SYN;
    return event;
}

TEST(EvdevModifierTapSource, TracksModifiersAcrossKeyboardsFromARecordedStream)
{
    struct Step {
        int device;
        input_event event;
        std::optional<std::uint64_t> flags;
    };
    const Step steps[] = {
        {0, key(1.0, KEY_LEFTCTRL, 1), ctrl},
        {0, sync(1.0), std::nullopt},
        {0, key(1.1, KEY_LEFTCTRL, 2), std::nullopt},  // held: the key repeats
        {0, key(1.2, KEY_C, 1), std::nullopt},          // an ordinary key
        {1, key(1.3, KEY_RIGHTSHIFT, 1), ctrl | shift}, // another keyboard
        {0, key(1.4, KEY_LEFTCTRL, 0), shift},
        {1, key(1.5, KEY_RIGHTSHIFT, 0), 0},
        {0, key(1.6, KEY_LEFTALT, 1), alt},
        {0, key(1.7, KEY_RIGHTMETA, 1), alt | super},
        {0, key(1.8, KEY_LEFTALT, 0), super},
        {0, key(1.9, KEY_RIGHTMETA, 0), 0},
        {0, key(2.0, KEY_RIGHTCTRL, 1), ctrl},
        {1, key(2.1, KEY_LEFTCTRL, 1), ctrl},           // both Ctrl keys: still Ctrl
        {0, key(2.2, KEY_RIGHTCTRL, 0), ctrl},          // one is still down
        {1, key(2.3, KEY_LEFTCTRL, 0), 0},
    };
    EvdevModifierTapSource::Tracker tracker;
    for (const Step& step : steps)
        EXPECT_EQ(tracker.feed(step.device, step.event), step.flags) << "code " << step.event.code << " at " << step.event.input_event_sec;
    EXPECT_DOUBLE_EQ(EvdevModifierTapSource::Tracker::seconds(key(12.25, KEY_A, 1)), 12.25);
}

TEST(EvdevModifierTapSource, ReadsOnlyDevicesThatAreKeyboards)
{
    const auto bits = [](std::initializer_list<int> codes) {
        std::vector<unsigned long> words(KEY_MAX / (8 * sizeof(unsigned long)) + 1, 0);
        for (int code : codes)
            words[size_t(code) / (8 * sizeof(unsigned long))] |= 1ul << (size_t(code) % (8 * sizeof(unsigned long)));
        return words;
    };
    EXPECT_TRUE(EvdevModifierTapSource::looksLikeKeyboard(bits({KEY_A, KEY_Z, KEY_SPACE, KEY_LEFTCTRL, KEY_RIGHTCTRL})));
    EXPECT_TRUE(EvdevModifierTapSource::looksLikeKeyboard(bits({KEY_A, KEY_Z, KEY_SPACE, KEY_RIGHTCTRL})));
    EXPECT_FALSE(EvdevModifierTapSource::looksLikeKeyboard(bits({KEY_POWER}))) << "a power button";
    EXPECT_FALSE(EvdevModifierTapSource::looksLikeKeyboard(bits({BTN_LEFT, BTN_RIGHT}))) << "a mouse";
    EXPECT_FALSE(EvdevModifierTapSource::looksLikeKeyboard(bits({KEY_VOLUMEUP, KEY_VOLUMEDOWN, KEY_MUTE}))) << "media keys";
    EXPECT_FALSE(EvdevModifierTapSource::looksLikeKeyboard({}));

    // Files that are not devices, and a folder that does not exist, give no keyboard.
    QTemporaryDir folder;
    test::writeFile(folder.path() + "/event0", "not a device");
    EXPECT_TRUE(EvdevModifierTapSource::keyboardDevices(folder.path()).isEmpty());
    EXPECT_TRUE(EvdevModifierTapSource::keyboardDevices(folder.path() + "/missing").isEmpty());
    if (QDir("/dev/input").entryList({"event*"}, QDir::System).isEmpty())
        GTEST_SKIP() << "this machine has no input devices: reading real keyboards is not tried here";
    for (const QString& device : EvdevModifierTapSource::keyboardDevices())
        EXPECT_TRUE(device.startsWith("/dev/input/event"));
}

// The source on two stand-in devices, with the real detector behind it.
TEST(EvdevModifierTapSource, ARecordedDoubleTapReachesTheDetector)
{
    QTemporaryDir folder;
    const QStringList devices{folder.path() + "/event0", folder.path() + "/event1"};
    for (const QString& device : devices)
        ASSERT_EQ(::mkfifo(QFile::encodeName(device).constData(), 0600), 0);
    auto source = std::make_unique<EvdevModifierTapSource>(devices);
    EXPECT_TRUE(source->canObserve());
    DoubleTapModifierManager manager(std::move(source));
    manager.threshold = 0.4;
    manager.targetModifier = DoubleTapModifier::control;
    int taps = 0;
    manager.onDoubleTap = [&] { ++taps; };
    manager.start();
    ASSERT_TRUE(manager.isRunning());
    std::vector<int> writers;
    for (const QString& device : devices)
        writers.push_back(::open(QFile::encodeName(device).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_GE(writers[0], 0);
    ASSERT_GE(writers[1], 0);
    const auto play = [&](int device, std::vector<input_event> events) {
        ASSERT_EQ(::write(writers[size_t(device)], events.data(), events.size() * sizeof(input_event)),
                  ssize_t(events.size() * sizeof(input_event)));
    };

    play(0, {key(10.00, KEY_LEFTCTRL, 1), sync(10.00), key(10.08, KEY_LEFTCTRL, 0), sync(10.08),
             key(10.25, KEY_LEFTCTRL, 1), sync(10.25), key(10.31, KEY_LEFTCTRL, 0), sync(10.31)});
    EXPECT_TRUE(test::waitUntil([&] { return taps == 1; }, 5s)) << "a quick double tap of Ctrl";

    play(0, {key(20.00, KEY_LEFTCTRL, 1), key(20.08, KEY_LEFTCTRL, 0)});
    play(0, {key(20.90, KEY_LEFTCTRL, 1), key(20.98, KEY_LEFTCTRL, 0)});
    // The source reads and judges on this thread: once a device's pipe is empty, its events have been seen.
    const auto read = [&](int device) {
        return test::waitUntil([&] {
            int pending = -1;
            return ::ioctl(writers[size_t(device)], FIONREAD, &pending) == 0 && pending == 0;
        });
    };
    // Ctrl tapped while Shift is held on the other keyboard is no clean tap.
    play(1, {key(30.00, KEY_LEFTSHIFT, 1)});
    ASSERT_TRUE(read(1));
    play(0, {key(30.10, KEY_LEFTCTRL, 1), key(30.15, KEY_LEFTCTRL, 0), key(30.25, KEY_LEFTCTRL, 1),
             key(30.30, KEY_LEFTCTRL, 0)});
    ASSERT_TRUE(read(0));
    EXPECT_EQ(taps, 1) << "too slow, and not clean, are no double taps";

    manager.stop();
    for (int fd : writers)
        ::close(fd);
}

TEST(UinputKeyInjector, SendsTheChordAndLetsEveryKeyUpAgain)
{
    const UinputKeyInjector::Keys keys{29, 42, 47, 110}; // a layout's Control, Shift, "v" and Insert
    struct Case {
        PasteChord chord;
        std::vector<std::pair<int, int>> keyEvents; // (code, value), each followed by a report
    };
    const Case cases[] = {
        {PasteChord::controlV, {{29, 1}, {47, 1}, {47, 0}, {29, 0}}},
        {PasteChord::controlShiftV, {{29, 1}, {42, 1}, {47, 1}, {47, 0}, {42, 0}, {29, 0}}},
        {PasteChord::shiftInsert, {{42, 1}, {110, 1}, {110, 0}, {42, 0}}},
    };
    for (const Case& c : cases) {
        const auto events = UinputKeyInjector::eventsFor(c.chord, keys);
        ASSERT_EQ(events.size(), c.keyEvents.size() * 2);
        for (size_t i = 0; i < c.keyEvents.size(); ++i) {
            EXPECT_EQ(events[2 * i].type, EV_KEY);
            EXPECT_EQ(events[2 * i].code, c.keyEvents[i].first);
            EXPECT_EQ(events[2 * i].value, c.keyEvents[i].second);
            EXPECT_EQ(events[2 * i + 1].type, EV_SYN);
            EXPECT_EQ(events[2 * i + 1].code, SYN_REPORT);
        }
    }

    UinputKeyInjector missing("/nonexistent/uinput");
    EXPECT_FALSE(missing.canPost());
    EXPECT_EQ(missing.paste(PasteChord::controlV, 0ms), KeyInjectionError::unavailable);
    UinputKeyInjector real;
    if (!real.canPost())
        GTEST_SKIP() << "/dev/uinput is missing or not writable here: sending keys through it is not tried";
    EXPECT_EQ(real.paste(PasteChord::controlV, 0ms), std::nullopt);
}

} // namespace
