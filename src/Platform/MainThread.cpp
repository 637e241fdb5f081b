#include "MainThread.h"

#include <QCoreApplication>

namespace velmora::platform {

void postToMainThread(std::function<void()> work)
{
    if (QCoreApplication* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(application, std::move(work), Qt::QueuedConnection);
}

} // namespace velmora::platform
