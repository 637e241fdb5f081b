#include "MainBundle.h"

#include <QDir>
#include <QFileInfo>

namespace velmora::platform {

MainBundle MainBundle::current(std::optional<QString> argv0)
{
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (executable.isEmpty())
        return {QDir::currentPath(), std::nullopt, std::nullopt, std::move(argv0)};
    return forExecutable(executable, std::move(argv0));
}

MainBundle MainBundle::forExecutable(const QString& executablePath, std::optional<QString> argv0)
{
    const QString binFolder = QFileInfo(executablePath).absolutePath();
    const QString bundle = QFileInfo(binFolder).absolutePath();
    return {bundle, bundle + QStringLiteral("/Resources"), executablePath, std::move(argv0)};
}

} // namespace velmora::platform
