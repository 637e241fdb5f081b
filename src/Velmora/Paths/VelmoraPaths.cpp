#include "VelmoraPaths.h"

#include "Model/PinnedWhisperModel.h"

#include "Platform/Linux/XdgPaths.h"

namespace velmora::VelmoraPaths {

QString applicationSupport()
{
    return platform::XdgPaths::dataHome() + QStringLiteral("/Velmora");
}

QString modelsFolder()
{
    return applicationSupport() + QStringLiteral("/models");
}

QString managedModelPath()
{
    return modelsFolder() + QLatin1Char('/') + PinnedWhisperModel::largeV3TurboQ5().fileName;
}

QString bridgeSocketPath()
{
    return applicationSupport() + QStringLiteral("/bridge/bridge.sock");
}

QString logsFolder()
{
    return platform::XdgPaths::stateHome() + QStringLiteral("/Velmora");
}

} // namespace velmora::VelmoraPaths
