#include "SingleInstanceLockLocation.h"

#include "Platform/Linux/XdgPaths.h"

namespace SingleInstance {

SingleInstanceLockLocation::SingleInstanceLockLocation(Kind kind, QString path)
    : m_kind(kind)
    , m_path(std::move(path))
{
}

SingleInstanceLockLocation SingleInstanceLockLocation::directory(QString path)
{
    return {Kind::directory, std::move(path)};
}

SingleInstanceLockLocation SingleInstanceLockLocation::applicationSupport()
{
    return {Kind::applicationSupport, {}};
}

QString SingleInstanceLockLocation::basePath() const
{
    return m_kind == Kind::directory ? m_path : velmora::platform::XdgPaths::dataHome();
}

} // namespace SingleInstance
