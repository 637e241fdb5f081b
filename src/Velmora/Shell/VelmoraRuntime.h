#pragma once

#include <QStringList>

#include <memory>

namespace SingleInstance {
class SingleInstanceController;
}

namespace velmora {

// The tray application: the event loop of the one copy that holds the lock.
namespace VelmoraRuntime {

// Returns the exit status when the event loop ends. `commands` are this
// launch's own command-line commands (--toggle, --show).
int run(int& argc, char** argv, std::unique_ptr<SingleInstance::SingleInstanceController> singleInstance,
        const QStringList& commands = {});

} // namespace VelmoraRuntime

} // namespace velmora
