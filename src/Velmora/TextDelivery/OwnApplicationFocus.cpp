#include "OwnApplicationFocus.h"

#include <QGuiApplication>

namespace velmora {

bool ownApplicationHasFocus()
{
    return QGuiApplication::applicationState() == Qt::ApplicationActive || QGuiApplication::focusWindow() != nullptr;
}

} // namespace velmora
