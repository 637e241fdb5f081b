#include "TextDelivery.h"

#include "DesktopSession.h"
#include "Linux/FreedesktopNotifications.h"
#include "Linux/PortalKeyInjector.h"
#include "Linux/PortalRemoteDesktop.h"
#include "Linux/SwayFrontmostApplication.h"
#include "Linux/UinputKeyInjector.h"
#include "Linux/WaylandSelectionOwner.h"
#include "Linux/WaylandSelectionReader.h"
#include "Linux/WlrForeignToplevelFrontmostApplication.h"
#include "Linux/WtypeKeyInjector.h"
#include "Linux/X11FrontmostApplication.h"
#include "Linux/X11KeyInjector.h"
#include "Linux/X11SelectionReader.h"

namespace velmora::platform {

std::unique_ptr<FrontmostApplicationSource> TextDelivery::frontmostApplication()
{
    // On Wayland the X11 view sees only XWayland windows; the compositor, where it tells, sees every window.
    const auto& session = DesktopSession::backends();
    if (session.frontmost.name == QLatin1String("sway-ipc"))
        return std::make_unique<SwayFrontmostApplication>(qEnvironmentVariable("SWAYSOCK"));
    if (session.frontmost.name == QLatin1String("wlr-foreign-toplevel")) {
        if (auto source = WlrForeignToplevelFrontmostApplication::open())
            return source;
    }
    return std::make_unique<X11FrontmostApplication>(session.kind == SessionBackends::Kind::wayland);
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

namespace {

bool usesDataControl()
{
    return DesktopSession::backends().clipboard.name == QLatin1String("wayland-data-control");
}

} // namespace

std::unique_ptr<SelectionReader> TextDelivery::selectionReader()
{
    if (usesDataControl())
        return std::make_unique<WaylandSelectionReader>();
    return std::make_unique<X11SelectionReader>();
}

std::unique_ptr<SelectionOwner> TextDelivery::selectionOwner()
{
    if (!usesDataControl())
        return nullptr;
    auto owner = std::make_unique<WaylandSelectionOwner>();
    if (!owner->isAvailable())
        return nullptr;
    return owner;
}

std::unique_ptr<KeyInjector> TextDelivery::keyInjector()
{
    const QString& backend = DesktopSession::backends().keyInjection.name;
    if (backend == QLatin1String("wtype"))
        return std::make_unique<WtypeKeyInjector>();
    if (backend == QLatin1String("portal"))
        return std::make_unique<PortalKeyInjector>(PortalRemoteDesktop::shared());
    if (backend == QLatin1String("uinput"))
        return std::make_unique<UinputKeyInjector>();
    return std::make_unique<X11KeyInjector>();
}

void TextDelivery::prepareKeyInjection(std::function<QString()> loadToken, std::function<void(const QString&)> saveToken)
{
    if (DesktopSession::backends().keyInjection.name == QLatin1String("portal"))
        PortalRemoteDesktop::prepare({std::move(loadToken), std::move(saveToken)});
}

} // namespace velmora::platform
