#include "PointerPressSource.h"

#include "Linux/X11PointerPressSource.h"

namespace velmora::platform {

std::unique_ptr<PointerPressSource> PointerPressSource::create()
{
    return X11PointerPressSource::open();
}

} // namespace velmora::platform
