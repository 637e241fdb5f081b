#include "TextDelivery.h"

#include "DesktopSession.h"
#include "Linux/FreedesktopNotifications.h"
#include "Linux/KWinFrontmostApplication.h"
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

#include <QCoreApplication>

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
    auto x11 = std::make_unique<X11FrontmostApplication>(session.kind == SessionBackends::Kind::wayland);
    if (session.frontmost.name == QLatin1String("kwin-script"))
        return std::make_unique<KWinFrontmostApplication>(std::move(x11));
    return x11;
}

namespace {

std::unique_ptr<FrontmostApplicationSource>& keptFrontmostSource()
{
    static std::unique_ptr<FrontmostApplicationSource> source;
    return source;
}

} // namespace

void TextDelivery::prepareFrontmostApplication()
{
    auto& source = keptFrontmostSource();
    if (source)
        return;
    source = frontmostApplication();
    // Gone with the application object, while the bus and the event loop's pieces still exist.
    if (QCoreApplication::instance())
        qAddPostRoutine([] { keptFrontmostSource().reset(); });
}

std::optional<FrontmostApplication> TextDelivery::currentFrontmostApplication()
{
    prepareFrontmostApplication();
    return keptFrontmostSource() ? keptFrontmostSource()->current() : std::nullopt;
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
