#include "DesktopSession.h"

#include "LogCategories.h"
#include "Linux/SessionProbe.h"

namespace velmora::platform {

const SessionBackends& DesktopSession::backends()
{
    static const SessionBackends chosen = [] {
        SessionBackends backends = SessionBackends::choose(probeSession());
        qCInfo(logging::session).noquote() << backends.describe().replace(QLatin1Char('\n'), QLatin1String("; "));
        return backends;
    }();
    return chosen;
}

} // namespace velmora::platform
