#include "TextDelivery.h"

#include "Linux/X11FrontmostApplication.h"

namespace velmora::platform {

std::unique_ptr<FrontmostApplicationSource> TextDelivery::frontmostApplication()
{
    return std::make_unique<X11FrontmostApplication>();
}

} // namespace velmora::platform
