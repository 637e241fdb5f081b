#include "TextDelivery.h"

#include "Linux/FreedesktopNotifications.h"
#include "Linux/X11FrontmostApplication.h"
#include "Linux/X11KeyInjector.h"
#include "Linux/X11SelectionReader.h"

namespace velmora::platform {

std::unique_ptr<FrontmostApplicationSource> TextDelivery::frontmostApplication()
{
    return std::make_unique<X11FrontmostApplication>();
}

std::optional<FrontmostApplication> TextDelivery::currentFrontmostApplication()
{
    static const std::unique_ptr<FrontmostApplicationSource> source = frontmostApplication();
    return source->current();
}

std::unique_ptr<NotificationCenter> TextDelivery::notifications()
{
    return std::make_unique<FreedesktopNotifications>();
}

std::unique_ptr<SelectionReader> TextDelivery::selectionReader()
{
    return std::make_unique<X11SelectionReader>();
}

std::unique_ptr<KeyInjector> TextDelivery::keyInjector()
{
    return std::make_unique<X11KeyInjector>();
}

} // namespace velmora::platform
