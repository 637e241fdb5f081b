#pragma once

#include "Platform/KeyboardLayoutSource.h"

#include <memory>

namespace velmora::platform {

class X11Connection;
class X11Keymap;

// The active X keyboard layout, re-read when the server announces a change.
class X11KeyboardLayoutSource final : public KeyboardLayoutSource {
    Q_OBJECT
public:
    explicit X11KeyboardLayoutSource(QObject* parent = nullptr);
    ~X11KeyboardLayoutSource() override;

    bool hasLayout() const override;
    std::optional<QString> typedText(std::uint32_t keyCode, std::uint32_t levelModifiers) const override;

private:
    void reload();

    std::unique_ptr<X11Connection> m_connection;
    std::unique_ptr<X11Keymap> m_keymap;
    bool m_reloadQueued = false;
};

} // namespace velmora::platform
