#include "BrowserBridge.h"

namespace velmora::BrowserBridge {

std::optional<QString> callerOrigin(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).startsWith(originPrefix))
            return arguments.at(i);
    }
    return std::nullopt;
}

} // namespace velmora::BrowserBridge
