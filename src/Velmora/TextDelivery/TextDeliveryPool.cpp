#include "TextDeliveryPool.h"

#include <QThreadPool>

namespace velmora {

QThreadPool& textDeliveryPool()
{
    static QThreadPool pool;
    pool.setMaxThreadCount(2);
    return pool;
}

} // namespace velmora
