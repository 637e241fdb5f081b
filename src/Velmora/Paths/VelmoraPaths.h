#pragma once

#include <QString>

namespace velmora {

// Where Velmora keeps its files, computed from $HOME and the XDG variables at each call.
namespace VelmoraPaths {

QString applicationSupport();  // $XDG_DATA_HOME/Velmora
QString modelsFolder();        // .../Velmora/models
QString managedModelPath();    // .../Velmora/models/<pinned model file>
QString bridgeSocketPath();    // .../Velmora/bridge/bridge.sock
QString logsFolder();          // $XDG_STATE_HOME/Velmora

} // namespace VelmoraPaths

} // namespace velmora
