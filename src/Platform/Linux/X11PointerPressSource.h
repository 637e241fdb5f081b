#pragma once

#include "Platform/PointerPressSource.h"

#include <cstdint>
#include <memory>

namespace velmora::platform {

class X11Connection;

// XInput 2.1 raw button presses from the root window: they arrive whichever
// client is under the pointer, and select nothing another client could hold.
class X11PointerPressSource final : public PointerPressSource {
    Q_OBJECT
public:
    // Nothing without a display or without XInput 2.1.
    static std::unique_ptr<X11PointerPressSource> open();
    ~X11PointerPressSource() override;

    bool start() override;
    void stop() override;

private:
    X11PointerPressSource(std::unique_ptr<X11Connection> connection, std::uint8_t inputOpcode);
    bool select(bool on);

    std::unique_ptr<X11Connection> m_connection;
    std::uint8_t m_inputOpcode = 0;
    bool m_running = false;
};

} // namespace velmora::platform
