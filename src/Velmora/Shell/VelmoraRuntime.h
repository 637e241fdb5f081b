#pragma once

#include <memory>

namespace SingleInstance {
class SingleInstanceController;
}

namespace velmora {

// The tray application: the event loop of the one copy that holds the lock.
namespace VelmoraRuntime {

// Returns the exit status when the event loop ends.
int run(int& argc, char** argv, std::unique_ptr<SingleInstance::SingleInstanceController> singleInstance);

} // namespace VelmoraRuntime

} // namespace velmora
