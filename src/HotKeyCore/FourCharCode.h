#pragma once

#include <QString>

#include <cstdint>

namespace HotKeyCore {

// The first four UTF-8 bytes, the first most significant; fewer for a shorter text.
std::uint32_t fourCharCode(const QString& text);

} // namespace HotKeyCore
