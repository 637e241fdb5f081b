#include "PasteboardSnapshot.h"

namespace velmora {

bool PasteboardSnapshot::isEmpty() const
{
    for (const auto& item : items) {
        if (!item.isEmpty())
            return false;
    }
    return true;
}

} // namespace velmora
