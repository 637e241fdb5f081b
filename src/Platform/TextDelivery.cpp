#include "TextDelivery.h"

#include "Linux/FreedesktopNotifications.h"
#include "Linux/X11FrontmostApplication.h"

namespace velmora::platform {

std::unique_ptr<FrontmostApplicationSource> TextDelivery::frontmostApplication()
{
    return std::make_unique<X11FrontmostApplication>();
}

std::unique_ptr<NotificationCenter> TextDelivery::notifications()
{
    return std::make_unique<FreedesktopNotifications>();
}

} // namespace velmora::platform
