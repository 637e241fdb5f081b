#pragma once

#include <QHashFunctions>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace HotKeyCore {

struct KeyShortcut;

// The stored global hot key and whether it is on at all (the flag also governs
// the double-tap trigger).
struct HotKeySettings {
    bool isEnabled = true;
    std::uint32_t keyCode = 49;
    std::uint32_t modifiers = 0x1000;
    std::optional<QString> character;

    HotKeySettings() = default; // Control + Space, enabled
    HotKeySettings(bool isEnabled, std::uint32_t keyCode, std::uint32_t modifiers,
                   const std::optional<QString>& character = {});
    HotKeySettings(bool isEnabled, const KeyShortcut& shortcut);
    static HotKeySettings defaultSettings() { return {}; }

    bool operator==(const HotKeySettings&) const = default;

    QJsonObject toJson() const;
    static std::optional<HotKeySettings> fromJson(const QJsonObject& object);
};

size_t qHash(const HotKeySettings& settings, size_t seed = 0) noexcept;

} // namespace HotKeyCore
