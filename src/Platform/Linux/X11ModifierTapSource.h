#pragma once

#include "Platform/ModifierTapSource.h"

#include <array>
#include <memory>

#include <xcb/xcb.h>

namespace velmora::platform {

class X11Connection;

// Raw key events of the whole display (XInput 2.1), which arrive even while
// another client grabs the keyboard. They carry key codes only, so the modifier
// state is kept from the keys held, through the keymap.
class X11ModifierTapSource final : public ModifierTapSource {
    Q_OBJECT
public:
    explicit X11ModifierTapSource(QObject* parent = nullptr);
    ~X11ModifierTapSource() override;

    bool canObserve() const override { return m_inputOpcode != 0; }
    bool start() override;
    void stop() override;

private:
    void handle(const xcb_generic_event_t& event);
    void loadKeymap();
    bool select(bool raw);
    double seconds(std::uint32_t serverTime);

    std::unique_ptr<X11Connection> m_connection;
    std::array<std::uint64_t, 256> m_flagOfKey{}; // modifier flag of each key, from the keymap
    bool m_hasKeymap = false;
    std::uint8_t m_inputOpcode = 0;
    bool m_running = false;
    std::array<bool, 256> m_down{};
    std::uint32_t m_lastServerTime = 0;
    std::uint64_t m_wraps = 0;
};

} // namespace velmora::platform
