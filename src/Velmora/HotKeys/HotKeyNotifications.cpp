#include "HotKeyNotifications.h"

namespace velmora {

HotKeyNotifications& HotKeyNotifications::shared()
{
    static HotKeyNotifications notifications;
    return notifications;
}

} // namespace velmora
