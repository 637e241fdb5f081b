#include "InstanceLockError.h"

namespace SingleInstance {

QString InstanceLockError::description() const
{
    const QString number = QString::number(m_errno);
    switch (m_kind) {
    case Kind::createFolderFailed:
        return QStringLiteral("createFolderFailed(errno: %1)").arg(number);
    case Kind::openFailed:
        return QStringLiteral("openFailed(errno: %1)").arg(number);
    case Kind::lockFailed:
        return QStringLiteral("lockFailed(errno: %1)").arg(number);
    case Kind::alreadyRunning:
        return QStringLiteral("alreadyRunning");
    }
    return {};
}

} // namespace SingleInstance
