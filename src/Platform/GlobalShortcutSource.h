#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace velmora::platform {

// One system-wide key combination, in the classic terms of the shortcut model.
// `modifiers` are the keys held as modifiers (Option means Alt); `levelModifiers`
// are those the layout needs to type a character (Option means AltGr), so a
// character shortcut is grabbed with what the user really presses.
struct ShortcutGrab {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    std::uint32_t levelModifiers = 0;

    bool operator==(const ShortcutGrab&) const = default;
};

enum class ShortcutGrabError {
    noDisplay,     // nothing to grab from (no X display)
    unknownKey,    // the key or a level modifier does not exist on this keyboard
    refused,       // another client holds the combination
    declined,      // the desktop's shortcut service did not bind it (the user cancelled, or it failed)
};

QString describe(ShortcutGrabError error);

// Delivers presses of at most one grabbed combination on the main thread.
class GlobalShortcutSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Replaces any earlier grab; on failure nothing stays grabbed.
    [[nodiscard]] virtual std::optional<ShortcutGrabError> grab(const ShortcutGrab& shortcut) = 0;
    virtual void release() = 0;

signals:
    // Once per physical press: held keys that repeat do not press again.
    void pressed(std::uint32_t signature, std::uint32_t id);
    // Sources that ask a desktop service (the portal) hear back later: how the
    // desktop describes the binding, or that it did not bind it.
    void bindingDescribed(const QString& description);
    void grabFailed(velmora::platform::ShortcutGrabError error);
};

} // namespace velmora::platform
