#include "LaunchAtLoginManagerError.h"

namespace LaunchAtLogin {

QString LaunchAtLoginManagerError::description() const
{
    switch (kind) {
    case Kind::registerFailed:
        return QStringLiteral("Could not register run-at-login: ") + reason;
    case Kind::unregisterFailed:
        return QStringLiteral("Could not unregister run-at-login: ") + reason;
    }
    return reason;
}

} // namespace LaunchAtLogin
