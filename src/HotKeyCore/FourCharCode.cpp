#include "FourCharCode.h"

namespace HotKeyCore {

std::uint32_t fourCharCode(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::uint32_t code = 0;
    for (qsizetype i = 0; i < bytes.size() && i < 4; ++i)
        code = (code << 8) | static_cast<std::uint8_t>(bytes[i]);
    return code;
}

} // namespace HotKeyCore
