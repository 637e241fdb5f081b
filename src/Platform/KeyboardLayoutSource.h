#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace velmora::platform {

// The keyboard layout the user types with right now, asked in the classic terms
// the shortcut model stores: key positions as classic key codes and the level
// modifiers as the classic mask (Shift 0x200; Option 0x800 stands for AltGr).
class KeyboardLayoutSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // False when no layout can be read (no display, no keyboard extension).
    virtual bool hasLayout() const = 0;
    // The text the key types with those level modifiers held on the active group,
    // or nothing when the key is unknown or that level is out of reach.
    virtual std::optional<QString> typedText(std::uint32_t keyCode, std::uint32_t levelModifiers) const = 0;

signals:
    // The keymap or the active group changed; several notices of one switch arrive as one.
    void layoutChanged();
};

} // namespace velmora::platform
